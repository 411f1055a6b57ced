// A telnet dialogue with the box: log in as root, send one command once at the shell prompt
// (by default the kill that restarts the receiver), and end at the next prompt or, for the
// kill, at the "killall:" complaint. Pure (no sockets): the caller feeds it each block the box
// sends and sends and closes as it says.
//
// Each block is searched in lower case. The shell prompt is "root@", a host name and "#" on
// one line of the block, whatever the host name is. "login" is answered with "root" only
// while no login has been made; a "password" prompt after it is answered with the
// configured password when the user is root and the password is not empty.
#pragma once

#include <string>
#include <string_view>

namespace tivolo::transfer {

enum class DialogueState {
  kAwaitLogin,    // nothing sent yet
  kUserSent,      // "root" sent
  kPasswordSent,  // the password sent
  kCommandSent,   // the command sent, waiting for its answer
  kOver,          // ended; see the outcome
};

enum class DialogueOutcome {
  kPending,
  kCommandDone,       // the prompt came back after the command (the kill: the receiver was killed)
  kNoProcessKilled,   // "killall:" after the kill: no receiver process was found
  kPasswordWanted,    // the box asks a password this setup cannot give
  kLoginRefused,      // the box asked again for the login or the password
  kConnectionClosed,  // the box closed the connection before the dialogue ended
};

// What to do after a block: send `send` (when not empty), then close when `close`.
struct DialogueReply {
  std::string send;
  bool close = false;
};

class TelnetDialogue {
 public:
  static constexpr std::string_view kLoginName = "root\n";
  static constexpr std::string_view kKillCommand = "killall -9 enigma2\n";

  // username and password of the configuration; the login name is always root. command ends
  // with a line end.
  TelnetDialogue(std::string username, std::string password,
                 std::string command = std::string(kKillCommand));

  DialogueReply Receive(std::string_view block);
  // The box closed the connection: ends the dialogue unless it is over already.
  void ConnectionClosed();

  DialogueState State() const { return state_; }
  DialogueOutcome Outcome() const { return outcome_; }
  bool Over() const { return state_ == DialogueState::kOver; }
  // The command ran to its prompt (the kill: the receiver was killed).
  bool Completed() const { return outcome_ == DialogueOutcome::kCommandDone; }
  // What the box printed for the command, without its echo and the closing prompt.
  const std::string& Output() const { return output_; }
  // Why the receiver was not restarted, for the user; empty while pending or after success.
  std::string Reason() const;
  // What the dialogue was waiting for, for a message when time ran out.
  std::string Waiting() const;

  // True when the (lower-case) text holds "root@", at least one character and "#" on one line.
  static bool HoldsShellPrompt(std::string_view lower);

 private:
  DialogueReply End(DialogueOutcome outcome);
  void TrimOutput();

  bool IsKill() const { return command_ == kKillCommand; }

  std::string username_;
  std::string password_;
  std::string command_;
  std::string output_;
  DialogueState state_ = DialogueState::kAwaitLogin;
  DialogueOutcome outcome_ = DialogueOutcome::kPending;
  std::string killall_line_;  // the box's "killall:" line, for the message
};

}  // namespace tivolo::transfer
