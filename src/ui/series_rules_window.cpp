#include "ui/series_rules_window.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "ui/rule_editor.h"
#include "ui/rule_rows.h"
#include "ui/rules_overview_dialog.h"

namespace tivolo::ui {
namespace {

QString Q(const std::string& s) {
  return QString::fromStdString(s);
}

}  // namespace

SeriesRulesWindow::SeriesRulesWindow(QWidget* owner, TimerSession& session,
                                     boxdata::ChannelNames channels, const TunerContext* tuners)
    : FixedDialog(owner), session_(session), channels_(std::move(channels)), tuners_(tuners) {
  setWindowTitle("Series rules");
  setFixedSize(kWidth, kHeight);
  SetupList();
  SetupButtons();
  Fill(0);
}

SeriesRulesWindow::~SeriesRulesWindow() = default;

void SeriesRulesWindow::SetupList() {
  auto* v = new QVBoxLayout(this);
  list_ = new QTreeWidget(this);
  list_->setObjectName("RuleList");
  list_->setRootIsDecorated(false);
  list_->setHeaderLabels({"Name", "Match", "Channels", "Time span", "Days", "Enabled"});
  list_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  connect(list_, &QTreeWidget::itemDoubleClicked, this,
          [this] { session_.Guard([this] { EditExecute(); }); });
  connect(list_, &QTreeWidget::currentItemChanged, this, [this] {
    const int at = Current();
    const bool any = at >= 0;
    edit_->setEnabled(any);
    copy_->setEnabled(any);
    delete_->setEnabled(any);
    switch_->setEnabled(any);
    switch_->setText(any && !session_.rules->rules[static_cast<size_t>(at)].rule.enabled
                         ? "E&nable"
                         : "Di&sable");
  });
  v->addWidget(list_, 1);
  note_ = new QLabel(this);
  note_->setObjectName("RulesNote");
  note_->setWordWrap(true);
  v->addWidget(note_);
}

void SeriesRulesWindow::SetupButtons() {
  auto* row = new QHBoxLayout;
  auto make = [this, row](const QString& text, const char* name,
                          void (SeriesRulesWindow::*handler)()) {
    auto* b = new QPushButton(text, this);
    b->setObjectName(name);
    b->setAutoDefault(false);
    connect(b, &QPushButton::clicked, this,
            [this, handler] { session_.Guard([this, handler] { (this->*handler)(); }); });
    row->addWidget(b);
    return b;
  };
  make("&Add", "ButtonAdd", &SeriesRulesWindow::AddExecute);
  edit_ = make("&Edit", "ButtonEdit", &SeriesRulesWindow::EditExecute);
  copy_ = make("C&opy", "ButtonCopy", &SeriesRulesWindow::CopyExecute);
  delete_ = make("&Delete", "ButtonDelete", &SeriesRulesWindow::DeleteExecute);
  switch_ = make("Di&sable", "ButtonSwitch", &SeriesRulesWindow::SwitchExecute);
  make("Preview a&ll", "PreviewAll", &SeriesRulesWindow::PreviewAllExecute);
  row->addStretch(1);
  make("&Close", "ButtonClose", &SeriesRulesWindow::CloseExecute);
  static_cast<QVBoxLayout*>(layout())->addLayout(row);
}

void SeriesRulesWindow::Fill(int current) {
  list_->clear();
  const auto& rules = session_.rules->rules;
  for (const boxdata::AutoTimerEntry& entry : rules) {
    const RuleListRow r = RuleRowOf(entry.rule);
    list_->addTopLevelItem(new QTreeWidgetItem(
        {Q(r.name), Q(r.match), Q(r.channels), Q(r.span), Q(r.days), Q(r.enabled)}));
  }
  std::string note = rules.empty() ? "The box has no series rules yet." : "";
  if (session_.rules_changed)
    note += (note.empty() ? "" : " ") +
            std::string("Changed: Save && Exit takes the rules to the box.");
  note_->setText(Q(note));
  if (!rules.empty()) {
    list_->setCurrentItem(
        list_->topLevelItem(std::clamp(current, 0, static_cast<int>(rules.size()) - 1)));
  } else {
    list_->setCurrentItem(nullptr);
    emit list_->currentItemChanged(nullptr, nullptr);
  }
}

int SeriesRulesWindow::Current() const {
  QTreeWidgetItem* item = list_->currentItem();
  return item ? list_->indexOfTopLevelItem(item) : -1;
}

bool SeriesRulesWindow::RunEditor(boxdata::AutoTimerRule& rule) {
  RuleEditor editor(this, session_, channels_, rule);
  if (on_editor) on_editor(editor);
  if (editor.exec() != QDialog::Accepted) return false;
  if (editor.Saved() == rule) return false;
  rule = editor.Saved();
  return true;
}

void SeriesRulesWindow::Changed(int current) {
  session_.rules_changed = true;
  Fill(current);
}

void SeriesRulesWindow::AddExecute() {
  boxdata::AutoTimerRule rule;
  if (!RunEditor(rule)) return;
  boxdata::AppendRule(*session_.rules, std::move(rule));
  Changed(static_cast<int>(session_.rules->rules.size()) - 1);
}

void SeriesRulesWindow::EditExecute() {
  const int at = Current();
  if (at < 0) return;
  boxdata::AutoTimerRule& rule = session_.rules->rules[static_cast<size_t>(at)].rule;
  if (RunEditor(rule)) Changed(at);
}

void SeriesRulesWindow::CopyExecute() {
  const int at = Current();
  if (at < 0) return;
  boxdata::AutoTimerRule copy = session_.rules->rules[static_cast<size_t>(at)].rule;
  copy.name = CopyName(*session_.rules, copy.DisplayName());
  boxdata::AppendRule(*session_.rules, std::move(copy));
  Changed(static_cast<int>(session_.rules->rules.size()) - 1);
}

void SeriesRulesWindow::DeleteExecute() {
  const int at = Current();
  if (at < 0) return;
  auto& rules = session_.rules->rules;
  rules.erase(rules.begin() + at);
  Changed(at);
}

void SeriesRulesWindow::SwitchExecute() {
  const int at = Current();
  if (at < 0) return;
  boxdata::AutoTimerRule& rule = session_.rules->rules[static_cast<size_t>(at)].rule;
  rule.enabled = !rule.enabled;
  Changed(at);
}

void SeriesRulesWindow::PreviewAllExecute() {
  RulesOverviewDialog dialog(this, session_, channels_, tuners_);
  dialog.exec();
}

void SeriesRulesWindow::CloseExecute() {
  accept();
}

}  // namespace tivolo::ui
