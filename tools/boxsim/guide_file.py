#!/usr/bin/python3
"""The simulated box's programme guide: epg.dat as the receiver writes it at a clean stop, in
the byte order of a little-endian box and the layout "ENIGMA_EPG_V8".

  magic 0x98765432, "ENIGMA_EPG_V8", the service count;
  per service: service id, original network id, transport stream id, the event count;
  per event: its type (16 bits), length (10 + 4 per descriptor), event id (big-endian), the
  start as Modified Julian Date and BCD time in UTC, the BCD duration, the descriptor ids;
  then the pool: the count, and per descriptor its id, a reference count and the descriptor.

As the receiver stores them, a title is a short event descriptor of its own (the name in
UTF-8 behind the table byte 0x15, no text) and a short text another (no name, the text as
broadcast); long texts are extended event descriptors.

The reader gives back what the web interface needs of such a file: per service its events
with titles and short texts.

  guide_file.py demo OUT     writes the demo box's guide to OUT (for the program's tests)
"""
import struct
import sys
import zlib

MAGIC = 0x98765432
MJD_OF_1970 = 40587
UTF8 = b"\x15"


def bcd(value):
    return (value // 10) << 4 | value % 10


def dvb_start(utc_seconds):
    days, rest = divmod(utc_seconds, 86400)
    return struct.pack(">HBBB", days + MJD_OF_1970, bcd(rest // 3600), bcd(rest // 60 % 60),
                       bcd(rest % 60))


def dvb_duration(seconds):
    return bytes([bcd(seconds // 3600), bcd(seconds // 60 % 60), bcd(seconds % 60)])


class GuideWriter:
    def __init__(self, language=b"dut"):
        self.language = language
        self.pool = {}  # id -> descriptor bytes (tag, length, data)
        self.services = []  # (sid, onid, tsid, [(event_id, begin, duration, [ids])])

    def descriptor(self, tag, data):
        if len(data) > 255:
            raise ValueError("a descriptor holds at most 255 bytes")
        raw = bytes([tag, len(data)]) + data
        key = zlib.crc32(raw)
        self.pool[key] = raw
        return key

    def short_event(self, name, text):
        return self.descriptor(0x4D, self.language + bytes([len(name)]) + name
                               + bytes([len(text)]) + text)

    def title(self, text):
        return self.short_event(UTF8 + text.encode("utf-8")[:248], b"")

    def short_text(self, text):
        return self.short_event(b"", UTF8 + text.encode("utf-8")[:248])

    def extended(self, text):
        """A long text in as many descriptors as it needs, numbered 0 to last."""
        raw = text.encode("utf-8")
        parts = [raw[i:i + 240] for i in range(0, len(raw), 240)] or [b""]
        last = len(parts) - 1
        return [self.descriptor(0x4E, bytes([n << 4 | last]) + self.language + b"\0"
                                + bytes([len(part) + 1]) + UTF8 + part)
                for n, part in enumerate(parts)]

    def add_service(self, sid, onid, tsid, events):
        """events: (event_id, begin, duration, title, short text, long text) each."""
        written = []
        for event_id, begin, duration, title, short, long_text in events:
            ids = [self.title(title)]
            if short:
                ids.append(self.short_text(short))
            if long_text:
                ids += self.extended(long_text)
            written.append((event_id, begin, duration, ids))
        self.services.append((sid, onid, tsid, written))

    def bytes(self):
        out = [struct.pack("<I", MAGIC), b"ENIGMA_EPG_V8", struct.pack("<i", len(self.services))]
        for sid, onid, tsid, events in self.services:
            out.append(struct.pack("<iiii", sid, onid, tsid, len(events)))
            for event_id, begin, duration, ids in events:
                out.append(struct.pack("<HB", 0, 10 + 4 * len(ids)))
                out.append(struct.pack(">H", event_id) + dvb_start(begin)
                           + dvb_duration(duration))
                out.append(struct.pack("<%dI" % len(ids), *ids))
        out.append(struct.pack("<i", len(self.pool)))
        for key in sorted(self.pool):
            out.append(struct.pack("<Ii", key, 1) + self.pool[key])
        return b"".join(out)

    def write(self, path):
        with open(path, "wb") as f:
            f.write(self.bytes())


def decode_text(raw):
    """A DVB text as the writer above makes them: UTF-8 behind 0x15, else one byte a
    character (enough for the simulation)."""
    if raw[:1] == UTF8:
        return raw[1:].decode("utf-8", errors="replace")
    return raw.decode("latin-1")


def bcd_value(byte):
    return (byte >> 4) * 10 + (byte & 0x0F)


def read_guide(data):
    """{(service id, original network id, transport stream id): [(event id, begin, duration,
    title, short text)]} of a guide file of either byte order and layout 7 or 8. Raises
    ValueError (or struct.error) for anything else."""
    order = "<" if struct.unpack_from("<I", data)[0] == MAGIC else ">"
    if struct.unpack_from(order + "I", data)[0] != MAGIC or data[4:16] != b"ENIGMA_EPG_V":
        raise ValueError("not a finished guide file")
    type_size = 2 if data[16:17] == b"8" else 1
    pos = 17
    (count,) = struct.unpack_from(order + "i", data, pos)
    pos += 4
    raw_services = []
    for _ in range(count):
        sid, onid, tsid, events = struct.unpack_from(order + "iiii", data, pos)
        pos += 16
        raw = []
        for _ in range(events):
            length = data[pos + type_size]
            pos += type_size + 1
            ids = struct.unpack_from(order + "%dI" % ((length - 10) // 4), data, pos + 10)
            raw.append((data[pos:pos + 10], ids))
            pos += length
        raw_services.append(((sid, onid, tsid), raw))
    (pool,) = struct.unpack_from(order + "i", data, pos)
    pos += 4
    descriptors = {}
    for _ in range(pool):
        (key,) = struct.unpack_from(order + "I", data, pos)
        pos += 8
        size = 2 + data[pos + 1]
        descriptors[key] = data[pos:pos + size]
        pos += size
    guide = {}
    for key, raw in raw_services:
        events = guide.setdefault(key, [])
        for header, ids in raw:
            event_id, mjd = struct.unpack_from(">HH", header)
            begin = ((mjd - MJD_OF_1970) * 86400 + bcd_value(header[4]) * 3600
                     + bcd_value(header[5]) * 60 + bcd_value(header[6]))
            duration = (bcd_value(header[7]) * 3600 + bcd_value(header[8]) * 60
                        + bcd_value(header[9]))
            title, short = "", ""
            for d in (descriptors.get(i) for i in ids):
                if d is None or d[0] != 0x4D:
                    continue
                name_end = 6 + d[5]
                title += decode_text(d[6:name_end])
                short += decode_text(d[name_end + 1:name_end + 1 + d[name_end]])
            events.append((event_id, begin, duration, title, short))
    return guide


if __name__ == "__main__":
    if len(sys.argv) != 3 or sys.argv[1] != "demo":
        sys.exit(__doc__)
    sys.path.insert(0, __import__("os").path.dirname(__import__("os").path.abspath(__file__)))
    import demo_data
    demo_data.demo_guide(demo_data.make_services()[0], 1767571200).write(sys.argv[2])
