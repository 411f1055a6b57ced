#include "ui/rule_editor.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimeEdit>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "boxdata/text_lines.h"
#include "ui/rule_rows.h"

namespace tivolo::ui {
namespace {

constexpr int kMaxMinutes = 24 * 60;
constexpr int kMaxCounter = 999;
const char* const kSearchTypes[] = {"partial", "exact", "start", "end", "description"};
const char* const kAfterEvents[] = {"", "none", "standby", "deepstandby", "auto"};

QString Q(std::string_view s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}
std::string S(const QString& s) {
  return s.toStdString();
}

std::string Lines(const std::vector<std::string>& items) {
  std::string text;
  for (const std::string& item : items)
    text += item + "\n";
  return text;
}

std::vector<std::string> ItemsOf(const QString& text, char separator) {
  std::vector<std::string> items;
  for (const QString& part : text.split(QChar(separator), Qt::SkipEmptyParts)) {
    const QString item = part.trimmed();
    if (!item.isEmpty()) items.push_back(S(item));
  }
  return items;
}

QTime TimeOf(const std::optional<boxdata::TimeOfDay>& t) {
  return t ? QTime(t->hour, t->minute) : QTime(0, 0);
}
boxdata::TimeOfDay TimeOfDayOf(const QTime& t) {
  return {t.hour(), t.minute()};
}

QSpinBox* Spin(QWidget* owner, const char* name, int low, int high, const QString& special = {}) {
  auto* spin = new QSpinBox(owner);
  spin->setObjectName(name);
  spin->setRange(low, high);
  if (!special.isEmpty()) spin->setSpecialValueText(special);
  return spin;
}

QComboBox* Combo(QWidget* owner, const char* name, const QStringList& items) {
  auto* combo = new QComboBox(owner);
  combo->setObjectName(name);
  combo->addItems(items);
  return combo;
}

}  // namespace

RuleEditor::RuleEditor(QWidget* owner, TimerSession& session, const boxdata::ChannelNames& channels,
                       const boxdata::AutoTimerRule& rule)
    : FixedDialog(owner), session_(session), channels_(channels), saved_(rule), carried_(rule) {
  setWindowTitle("Series rule");
  setFixedSize(kWidth, kHeight);
  auto* top = new QHBoxLayout(this);
  auto* tabs = new QTabWidget(this);
  tabs->setObjectName("RuleTabs");
  auto page = [this, tabs](const char* title, void (RuleEditor::*setup)(QFormLayout*)) {
    auto* widget = new QWidget(tabs);
    auto* form = new QFormLayout(widget);
    (this->*setup)(form);
    tabs->addTab(widget, title);
  };
  page("&Match", &RuleEditor::SetupMatch);
  page("&Times", &RuleEditor::SetupTimes);
  page("&Recording", &RuleEditor::SetupRecording);
  page("&Duplicates", &RuleEditor::SetupDuplicates);
  page("&Filters", &RuleEditor::SetupFilters);
  auto* left = new QVBoxLayout;
  left->addWidget(tabs, 1);
  problem_ = new QLabel(this);
  problem_->setObjectName("RuleProblem");
  problem_->setWordWrap(true);
  left->addWidget(problem_);
  SetupButtons(left);
  top->addLayout(left, 2);
  top->addWidget(SetupPreview(), 3);
  Show(rule);
  WatchEdits();
  UpdatePreview();
  match_->setFocus(Qt::OtherFocusReason);
}

RuleEditor::~RuleEditor() = default;

void RuleEditor::SetupMatch(QFormLayout* form) {
  QWidget* body = form->parentWidget();
  match_ = new QLineEdit(body);
  match_->setObjectName("RuleMatch");
  form->addRow("Match:", match_);
  name_ = new QLineEdit(body);
  name_->setObjectName("RuleName");
  name_->setPlaceholderText("the match");
  form->addRow("Name:", name_);
  enabled_ = new QCheckBox("Enabled", body);
  enabled_->setObjectName("RuleEnabled");
  form->addRow(enabled_);
  QStringList types;
  for (const char* t : kSearchTypes)
    types << t;
  types[0] += " (default)";
  search_type_ = Combo(body, "RuleSearchType", types);
  form->addRow("Search:", search_type_);
  case_sensitive_ = new QCheckBox("Case sensitive (default: not)", body);
  case_sensitive_->setObjectName("RuleCaseSensitive");
  form->addRow(case_sensitive_);
  services_ = new QPlainTextEdit(body);
  services_->setObjectName("RuleServices");
  services_->setPlaceholderText("every channel (or one service reference a line)");
  form->addRow("Channels:", services_);
  channel_names_ = new QLabel(body);
  channel_names_->setObjectName("RuleChannelNames");
  channel_names_->setWordWrap(true);
  form->addRow("", channel_names_);
  bouquets_ = new QPlainTextEdit(body);
  bouquets_->setObjectName("RuleBouquets");
  bouquets_->setPlaceholderText("none (or one bouquet reference a line)");
  form->addRow("Bouquets:", bouquets_);
}

void RuleEditor::SetupTimes(QFormLayout* form) {
  QWidget* body = form->parentWidget();
  use_span_ = new QCheckBox("Only programmes that begin between (default: any time)", body);
  use_span_->setObjectName("RuleUseSpan");
  form->addRow(use_span_);
  from_ = new QTimeEdit(body);
  from_->setObjectName("RuleFrom");
  from_->setDisplayFormat("HH:mm");
  to_ = new QTimeEdit(body);
  to_->setObjectName("RuleTo");
  to_->setDisplayFormat("HH:mm");
  form->addRow("From:", from_);
  form->addRow("To (may pass midnight):", to_);
  use_frame_ = new QCheckBox("Only within the days (default: any day)", body);
  use_frame_->setObjectName("RuleUseFrame");
  form->addRow(use_frame_);
  after_ = new QDateTimeEdit(body);
  after_->setObjectName("RuleAfter");
  after_->setTimeSpec(Qt::UTC);
  after_->setDisplayFormat("dd-MM-yyyy HH:mm 'UTC'");
  before_ = new QDateTimeEdit(body);
  before_->setObjectName("RuleBefore");
  before_->setTimeSpec(Qt::UTC);
  before_->setDisplayFormat("dd-MM-yyyy HH:mm 'UTC'");
  form->addRow("After:", after_);
  form->addRow("Before:", before_);
  max_duration_ = Spin(body, "RuleMaxDuration", 0, kMaxMinutes, "no limit (default)");
  max_duration_->setSuffix(" min");
  form->addRow("Longest:", max_duration_);
}

void RuleEditor::SetupRecording(QFormLayout* form) {
  QWidget* body = form->parentWidget();
  location_ = new QLineEdit(body);
  location_->setObjectName("RuleLocation");
  location_->setPlaceholderText("the box's recording folder (default)");
  form->addRow("Folder:", location_);
  use_offset_ = new QCheckBox("Own margins (default: the box's)", body);
  use_offset_->setObjectName("RuleUseOffset");
  form->addRow(use_offset_);
  offset_before_ = Spin(body, "RuleOffsetBefore", 0, kMaxMinutes);
  offset_before_->setSuffix(" min before");
  offset_after_ = Spin(body, "RuleOffsetAfter", 0, kMaxMinutes);
  offset_after_->setSuffix(" min after");
  form->addRow("Margins:", offset_before_);
  form->addRow("", offset_after_);
  justplay_ = Combo(body, "RuleJustplay", {"record (default)", "zap only"});
  form->addRow("Timer:", justplay_);
  set_endtime_ = new QCheckBox("Zap timers get an end (default: yes)", body);
  set_endtime_->setObjectName("RuleSetEndtime");
  form->addRow(set_endtime_);
  QStringList actions;
  for (const char* a : kAfterEvents)
    actions << a;
  actions[0] = "the box's default (default)";
  after_event_ = Combo(body, "RuleAfterEvent", actions);
  form->addRow("Afterwards:", after_event_);
  tags_ = new QLineEdit(body);
  tags_->setObjectName("RuleTags");
  tags_->setPlaceholderText("none (default); several with commas");
  form->addRow("Tags:", tags_);
  always_zap_ = new QCheckBox("Always zap to the channel (default: no)", body);
  always_zap_->setObjectName("RuleAlwaysZap");
  form->addRow(always_zap_);
  conflict_detection_ = new QCheckBox("Check for conflicts (default: yes)", body);
  conflict_detection_->setObjectName("RuleConflictDetection");
  form->addRow(conflict_detection_);
  encoding_ = new QLineEdit(body);
  encoding_->setObjectName("RuleEncoding");
  encoding_->setPlaceholderText("UTF-8 (default)");
  form->addRow("Encoding:", encoding_);
}

void RuleEditor::SetupDuplicates(QFormLayout* form) {
  QWidget* body = form->parentWidget();
  avoid_duplicates_ =
      Combo(body, "RuleAvoidDuplicates",
            {"no (default)", "same channel", "any channel", "any channel and recordings"});
  form->addRow("Skip repeats:", avoid_duplicates_);
  search_duplicates_ =
      Combo(body, "RuleSearchDuplicates",
            {"title", "title and short text", "title, short and long text (default)"});
  search_duplicates_->setCurrentIndex(2);
  form->addRow("Repeats by:", search_duplicates_);
  counter_ = Spin(body, "RuleCounter", 0, kMaxCounter, "no counter (default)");
  form->addRow("Counter:", counter_);
  left_ = Spin(body, "RuleLeft", -1, kMaxCounter, "as the counter (default)");
  form->addRow("Left:", left_);
  counter_format_ = new QLineEdit(body);
  counter_format_->setObjectName("RuleCounterFormat");
  counter_format_->setPlaceholderText("never renewed (default); %W: weekly, %m: monthly");
  form->addRow("Counter period:", counter_format_);
}

void RuleEditor::SetupFilters(QFormLayout* form) {
  QWidget* body = form->parentWidget();
  auto* hint = new QLabel(
      "One filter a line, \"title:\", \"shortdescription:\", \"description:\" (a regular "
      "expression) or \"dayofweek:\" (0 Monday .. 6, weekday, weekend). Every include must "
      "match.",
      body);
  hint->setWordWrap(true);
  form->addRow(hint);
  includes_ = new QPlainTextEdit(body);
  includes_->setObjectName("RuleIncludes");
  includes_->setPlaceholderText("none (default)");
  form->addRow("Include:", includes_);
  excludes_ = new QPlainTextEdit(body);
  excludes_->setObjectName("RuleExcludes");
  excludes_->setPlaceholderText("none (default)");
  form->addRow("Exclude:", excludes_);
}

QWidget* RuleEditor::SetupPreview() {
  auto* box = new QWidget(this);
  auto* v = new QVBoxLayout(box);
  v->setContentsMargins(0, 0, 0, 0);
  preview_count_ = new QLabel(box);
  preview_count_->setObjectName("PreviewCount");
  v->addWidget(preview_count_);
  preview_ = new QTreeWidget(box);
  preview_->setObjectName("RulePreview");
  preview_->setRootIsDecorated(false);
  preview_->setHeaderLabels({"Day", "Time", "Channel", "Title", "Result"});
  preview_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  v->addWidget(preview_, 1);
  preview_timer_ = new QTimer(this);
  preview_timer_->setSingleShot(true);
  preview_timer_->setInterval(kPreviewDelayMs);
  connect(preview_timer_, &QTimer::timeout, this,
          [this] { session_.Guard([this] { UpdatePreview(); }); });
  return box;
}

void RuleEditor::SetupButtons(QBoxLayout* layout) {
  auto* row = new QHBoxLayout;
  row->addStretch(1);
  auto* save = new QPushButton("&Save", this);
  save->setObjectName("ButtonSave");
  save->setAutoDefault(false);
  connect(save, &QPushButton::clicked, this, [this] { session_.Guard([this] { SaveExecute(); }); });
  auto* cancel = new QPushButton("&Cancel", this);
  cancel->setObjectName("ButtonCancel");
  cancel->setAutoDefault(false);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  row->addWidget(save);
  row->addWidget(cancel);
  layout->addLayout(row);
}

void RuleEditor::Show(const boxdata::AutoTimerRule& r) {
  match_->setText(Q(r.match));
  name_->setText(Q(r.name == r.match ? std::string() : r.name));
  enabled_->setChecked(r.enabled);
  search_type_->setCurrentIndex(static_cast<int>(r.search_type));
  case_sensitive_->setChecked(r.case_sensitive);
  services_->setPlainText(Q(Lines(r.services)));
  bouquets_->setPlainText(Q(Lines(r.bouquets)));
  use_span_->setChecked(r.from && r.to);
  from_->setTime(TimeOf(r.from));
  to_->setTime(TimeOf(r.to));
  use_frame_->setChecked(r.after && r.before);
  const int64_t now = platform::DateTimeToEpoch(session_.Now().utc);
  after_->setDateTime(QDateTime::fromSecsSinceEpoch(r.after.value_or(now), Qt::UTC));
  before_->setDateTime(
      QDateTime::fromSecsSinceEpoch(r.before.value_or(now + 7 * 24 * 3600), Qt::UTC));
  max_duration_->setValue(r.max_duration_minutes.value_or(0));
  location_->setText(Q(r.location));
  use_offset_->setChecked(r.offset_before.has_value());
  offset_before_->setValue(r.offset_before.value_or(
      session_.guide ? session_.guide->settings.margin_before_minutes : 0));
  offset_after_->setValue(r.offset_after.value_or(r.offset_before.value_or(
      session_.guide ? session_.guide->settings.margin_after_minutes : 0)));
  justplay_->setCurrentIndex(r.justplay != 0 ? 1 : 0);
  set_endtime_->setChecked(r.set_endtime != 0);
  const std::string action = r.after_events.empty() ? std::string() : r.after_events.front().action;
  int action_index = action.empty() ? 0 : after_event_->findText(Q(action));
  if (action_index < 0) {
    // An action the list does not name is offered as it stands.
    after_event_->addItem(Q(action));
    action_index = after_event_->count() - 1;
  }
  after_event_->setCurrentIndex(action_index);
  std::string tags;
  for (const std::string& t : r.tags)
    tags += (tags.empty() ? "" : ", ") + t;
  tags_->setText(Q(tags));
  always_zap_->setChecked(r.always_zap != 0);
  conflict_detection_->setChecked(r.conflict_detection);
  encoding_->setText(Q(r.encoding));
  avoid_duplicates_->setCurrentIndex(std::clamp(r.avoid_duplicate_description, 0, 3));
  search_duplicates_->setCurrentIndex(std::clamp(r.search_for_duplicate_description, 0, 2));
  counter_->setValue(r.counter);
  left_->setValue(r.left.value_or(-1));
  counter_format_->setText(Q(r.counter_format));
  includes_->setPlainText(Q(FilterLines(r.includes)));
  excludes_->setPlainText(Q(FilterLines(r.excludes)));
}

boxdata::AutoTimerRule RuleEditor::Rule() const {
  boxdata::AutoTimerRule r = carried_;
  r.match = S(match_->text());
  r.name = S(name_->text().trimmed());
  // Shown empty when it is the match: a rule that named itself keeps doing so.
  if (r.name.empty() && !carried_.name.empty()) r.name = r.match;
  r.enabled = enabled_->isChecked();
  r.search_type = static_cast<boxdata::RuleSearchType>(search_type_->currentIndex());
  r.case_sensitive = case_sensitive_->isChecked();
  r.services = ItemsOf(services_->toPlainText(), '\n');
  r.bouquets = ItemsOf(bouquets_->toPlainText(), '\n');
  r.from = r.to = std::nullopt;
  if (use_span_->isChecked()) {
    r.from = TimeOfDayOf(from_->time());
    r.to = TimeOfDayOf(to_->time());
  }
  r.after = r.before = std::nullopt;
  if (use_frame_->isChecked()) {
    // The editor shows minutes: seconds of the file stay while the minute does.
    auto seconds = [](const QDateTimeEdit* edit, std::optional<int64_t> read) {
      const int64_t shown = edit->dateTime().toSecsSinceEpoch();
      return read && *read / 60 == shown / 60 ? *read : shown;
    };
    r.after = seconds(after_, carried_.after);
    r.before = seconds(before_, carried_.before);
  }
  r.max_duration_minutes = std::nullopt;
  if (max_duration_->value() > 0) r.max_duration_minutes = max_duration_->value();
  r.location = S(location_->text().trimmed());
  r.offset_before = r.offset_after = std::nullopt;
  if (use_offset_->isChecked()) {
    r.offset_before = offset_before_->value();
    r.offset_after = offset_after_->value();
  }
  // A value the list does not name stays as read while its choice is untouched.
  auto chosen = [](const QComboBox* combo, int read, int shown) {
    return combo->currentIndex() == shown ? read : combo->currentIndex();
  };
  r.justplay = chosen(justplay_, carried_.justplay, carried_.justplay != 0 ? 1 : 0);
  r.set_endtime = set_endtime_->isChecked() ? 1 : 0;
  TakeAfterEvent(r);
  r.tags = ItemsOf(tags_->text(), ',');
  r.always_zap = always_zap_->isChecked() ? 1 : 0;
  r.conflict_detection = conflict_detection_->isChecked();
  r.encoding = S(encoding_->text().trimmed());
  r.avoid_duplicate_description = chosen(avoid_duplicates_, carried_.avoid_duplicate_description,
                                         std::clamp(carried_.avoid_duplicate_description, 0, 3));
  r.search_for_duplicate_description =
      chosen(search_duplicates_, carried_.search_for_duplicate_description,
             std::clamp(carried_.search_for_duplicate_description, 0, 2));
  r.counter = counter_->value();
  r.left = std::nullopt;
  if (left_->value() >= 0) r.left = left_->value();
  r.counter_format = S(counter_format_->text().trimmed());
  std::string problem;
  r.includes = ParseFilterLines(S(includes_->toPlainText()), problem);
  r.excludes = ParseFilterLines(S(excludes_->toPlainText()), problem);
  return r;
}

void RuleEditor::TakeAfterEvent(boxdata::AutoTimerRule& r) const {
  // Only the first afterevent is offered; any others of the file stay as they were.
  const int action = after_event_->currentIndex();
  if (action <= 0) {
    if (!r.after_events.empty()) r.after_events.erase(r.after_events.begin());
  } else if (r.after_events.empty()) {
    r.after_events.push_back({S(after_event_->itemText(action)), std::nullopt, std::nullopt});
  } else {
    r.after_events.front().action = S(after_event_->itemText(action));
  }
}

void RuleEditor::WatchEdits() {
  auto restart = [this] { preview_timer_->start(); };
  for (QLineEdit* e : findChildren<QLineEdit*>())
    connect(e, &QLineEdit::textChanged, this, restart);
  for (QPlainTextEdit* e : findChildren<QPlainTextEdit*>())
    connect(e, &QPlainTextEdit::textChanged, this, restart);
  for (QCheckBox* c : findChildren<QCheckBox*>())
    connect(c, &QCheckBox::toggled, this, restart);
  for (QComboBox* c : findChildren<QComboBox*>())
    connect(c, &QComboBox::currentIndexChanged, this, restart);
  for (QAbstractSpinBox* s : findChildren<QAbstractSpinBox*>())
    connect(s, &QAbstractSpinBox::editingFinished, this, restart);
  for (QSpinBox* s : findChildren<QSpinBox*>())
    connect(s, &QSpinBox::valueChanged, this, restart);
  for (QDateTimeEdit* d : findChildren<QDateTimeEdit*>())
    connect(d, &QDateTimeEdit::dateTimeChanged, this, restart);
}

namespace {

// The first problem of the filter lines, or of the rule.
std::string EditProblem(const QPlainTextEdit* includes, const QPlainTextEdit* excludes,
                        const boxdata::AutoTimerRule& rule) {
  std::string problem;
  ParseFilterLines(S(includes->toPlainText()), problem);
  if (!problem.empty()) return "Include: " + problem;
  ParseFilterLines(S(excludes->toPlainText()), problem);
  if (!problem.empty()) return "Exclude: " + problem;
  return RuleProblem(rule);
}

}  // namespace

void RuleEditor::UpdatePreview() {
  preview_timer_->stop();
  const boxdata::AutoTimerRule rule = Rule();
  problem_->setText(Q(EditProblem(includes_, excludes_, rule)));
  channel_names_->setText(Q(RuleChannelNames(rule.services, channels_)));
  preview_->clear();
  const std::shared_ptr<const GuideState> guide = session_.guide;
  if (!guide || !guide->HasGuide()) {
    preview_count_->setText("No guide: nothing to preview");
    return;
  }
  const ClockNow now = session_.Now();
  RulePreview preview = PreviewRule(*guide, rule, ExistingTimers(session_.tables->timers, now),
                                    channels_, now, kMaxPreviewRows);
  preview_count_->setText(Q(guide->age_text + ": " + preview.Summary()));
  QList<QTreeWidgetItem*> items;
  for (const RulePreviewRow& p : preview.rows) {
    auto* item = new QTreeWidgetItem(
        {Q(p.row.day), Q(p.row.times), Q(p.row.channel), Q(p.row.event.title), Q(p.reason)});
    if (p.check == plan::RuleCheck::kRecorded) {
      QFont bold = item->font(0);
      bold.setBold(true);
      for (int c = 0; c < item->columnCount(); ++c)
        item->setFont(c, bold);
    }
    items.push_back(item);
  }
  preview_->addTopLevelItems(items);
}

void RuleEditor::SaveExecute() {
  const boxdata::AutoTimerRule rule = Rule();
  const std::string problem = EditProblem(includes_, excludes_, rule);
  if (!problem.empty()) {
    problem_->setText(Q(problem));
    if (session_.beep) session_.beep();
    return;
  }
  saved_ = rule;
  accept();
}

}  // namespace tivolo::ui
