#include "ui/rules_overview_dialog.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "ui/rules_overview_rows.h"

namespace tivolo::ui {
namespace {

QString Q(const std::string& s) {
  return QString::fromStdString(s);
}

}  // namespace

RulesOverviewDialog::RulesOverviewDialog(QWidget* owner, TimerSession& session,
                                         const boxdata::ChannelNames& channels,
                                         const TunerContext* tuners)
    : FixedDialog(owner) {
  setWindowTitle("Preview all rules");
  setFixedSize(kWidth, kHeight);
  auto* v = new QVBoxLayout(this);
  summary_ = new QLabel(this);
  summary_->setObjectName("OverviewSummary");
  summary_->setWordWrap(true);
  v->addWidget(summary_);
  list_ = new QTreeWidget(this);
  list_->setObjectName("OverviewList");
  list_->setRootIsDecorated(false);
  list_->setHeaderLabels({"Rule", "Day", "Time", "Channel", "Title", "Marks"});
  list_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  v->addWidget(list_, 1);
  auto* row = new QHBoxLayout;
  row->addStretch(1);
  auto* close = new QPushButton("&Close", this);
  close->setObjectName("ButtonClose");
  close->setAutoDefault(false);
  connect(close, &QPushButton::clicked, this, &QDialog::accept);
  row->addWidget(close);
  v->addLayout(row);
  Fill(session, channels, tuners);
}

void RulesOverviewDialog::Fill(TimerSession& session, const boxdata::ChannelNames& channels,
                               const TunerContext* tuners) {
  const std::shared_ptr<const GuideState> guide = session.guide;
  if (!guide || !guide->HasGuide() || !session.rules) {
    summary_->setText("No guide: nothing to preview");
    return;
  }
  const OverviewRows rows = RulesOverviewRows(*guide, *session.rules, session.tables->timers,
                                              channels, tuners, session.Now());
  summary_->setText(Q(guide->age_text + ": " + rows.summary));
  QList<QTreeWidgetItem*> items;
  for (const OverviewRow& r : rows.rows) {
    auto* item = new QTreeWidgetItem({Q(r.rule), Q(r.row.day), Q(r.row.times), Q(r.row.channel),
                                      Q(r.row.event.title), Q(r.marks)});
    item->setToolTip(5, Q(r.marks));
    if (r.attention) {
      QFont bold = item->font(0);
      bold.setBold(true);
      for (int c = 0; c < item->columnCount(); ++c)
        item->setFont(c, bold);
    }
    items.push_back(item);
  }
  list_->addTopLevelItems(items);
}

}  // namespace tivolo::ui
