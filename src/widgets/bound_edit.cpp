#include "widgets/bound_edit.h"
#include "widgets/bound_write.h"

#include <limits>

namespace tivolo::widgets {

BoundEdit::BoundEdit(QWidget* parent) : QLineEdit(parent) {
  link_.on_data_change = [this] { Reload(); };
  connect(this, &QLineEdit::textEdited, this, &BoundEdit::Typed);
}

void BoundEdit::Reload() {
  store::Field* field = link_.GetField();
  const int size = field ? field->Size() : 0;
  // QLineEdit's own default limit is 32767; a field without a size must not be cut by it.
  setMaxLength(size > 0 ? size : std::numeric_limits<int>::max());
  const QString text = field ? QString::fromStdString(field->AsString()) : QString();
  if (text != this->text()) setText(text);
}

void BoundEdit::Typed(const QString& text) {
  if (isReadOnly()) return;
  const std::string utf8 = text.toStdString();
  if (!WriteField(link_, [&utf8](store::Field& f) { f.SetAsString(utf8); })) Reload();
}

}  // namespace tivolo::widgets
