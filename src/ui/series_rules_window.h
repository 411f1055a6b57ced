// "Series rules": the box's rules (read with the guide) in a list, with name, match, channels,
// time span, days and whether each is enabled; Add, Edit, Copy, Delete and Enable/Disable
// change the session's copy of the rules, which Save && Exit takes to the box. Add and Edit
// open the rule editor with its preview; Preview all shows what every enabled rule would add
// now. Tests reach its controls by object name.
#pragma once

#include <functional>

#include "boxdata/box_reader.h"
#include "ui/fixed_dialog.h"
#include "ui/timer_conflicts.h"
#include "ui/timer_session.h"

class QLabel;
class QPushButton;
class QTreeWidget;

namespace tivolo::ui {

class RuleEditor;

class SeriesRulesWindow : public FixedDialog {
  Q_OBJECT

 public:
  static constexpr int kWidth = 760;
  static constexpr int kHeight = 420;

  // session.rules must be set; tuners (the box's, for the preview of all rules) null when
  // they are not known, and outlives the window.
  SeriesRulesWindow(QWidget* owner, TimerSession& session, boxdata::ChannelNames channels,
                    const TunerContext* tuners = nullptr);
  ~SeriesRulesWindow() override;

  void AddExecute();
  void EditExecute();
  void CopyExecute();
  void DeleteExecute();
  void SwitchExecute();
  void CloseExecute();
  void PreviewAllExecute();

  // Run on each editor after it is made and before it is shown (tests look at it there).
  std::function<void(RuleEditor&)> on_editor;

 private:
  void SetupList();
  void SetupButtons();
  void Fill(int current);
  // The current rule's index, or -1.
  int Current() const;
  // Opens the editor on rule; true with the edited rule in `rule` when it was saved.
  bool RunEditor(boxdata::AutoTimerRule& rule);
  void Changed(int current);

  TimerSession& session_;
  boxdata::ChannelNames channels_;
  const TunerContext* tuners_ = nullptr;
  QTreeWidget* list_ = nullptr;
  QLabel* note_ = nullptr;
  QPushButton* edit_ = nullptr;
  QPushButton* copy_ = nullptr;
  QPushButton* delete_ = nullptr;
  QPushButton* switch_ = nullptr;
};

}  // namespace tivolo::ui
