// Controls of the options pages: a number edit with a spin button, the
// type list with check boxes, and the list of excluded URLs that takes
// drops. GUI thread only.
#pragma once

#include <QAbstractSpinBox>
#include <QListWidget>
#include <memory>
#include <optional>
#include <string>

class QMenu;

namespace sg {

// An edit field for a whole number with a spin button beside it. Typing is
// free: the range is checked when the sheet is confirmed, with the
// program's own messages. The spin button runs from 0 to 100 whatever range
// the field has.
class NumberBox : public QAbstractSpinBox {
  Q_OBJECT

 public:
  static constexpr int kSpinMinimum = 0;
  static constexpr int kSpinMaximum = 100;

  explicit NumberBox(QWidget* parent = nullptr);

  void setNumber(int value);
  void setText(const QString& text);
  // The number typed, or nothing when the text is not a whole number.
  std::optional<int> number() const;

  void stepBy(int steps) override;
  QValidator::State validate(QString& input, int& position) const override;
  // Room for six digits beside the spin button.
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;
  void fixup(QString& input) const override;

 signals:
  void textChanged(const QString& text);

 protected:
  StepEnabled stepEnabled() const override;
};

// A sorted list of MIME types, each with a check box. Its context menu ticks
// or clears all entries, or those of one major type.
class TypeList : public QListWidget {
  Q_OBJECT

 public:
  explicit TypeList(QWidget* parent = nullptr);

  // One entry per non-empty part of the ";"-separated known types, ticked
  // when its text occurs anywhere in selected.
  void fill(const std::string& known, const std::string& selected);
  // The ticked entries, in list order, joined by ";".
  std::string checkedTypes() const;
  void setAllChecked(bool checked);
  // Ticks or clears every entry whose text before its "/" equals major,
  // ignoring case; entries without "/" stay as they are.
  void setMajorChecked(const QString& major, bool checked);

  // The context menu for the current entry; the caller owns it.
  std::unique_ptr<QMenu> createContextMenu();

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override;
};

// The sorted list of excluded URLs. It takes URLs, files and shortcut
// files dropped on it: a valid HTTP URL that is not listed yet (ignoring
// case) joins the list, anything else is dropped silently.
class ExclusionList : public QListWidget {
  Q_OBJECT

 public:
  explicit ExclusionList(QWidget* parent = nullptr);

  // Adds url unless an equal entry is listed; the entry that stands for it.
  QListWidgetItem* addUrl(const QString& url);
  QListWidgetItem* findUrl(const QString& url) const;
  QStringList urls() const;

 signals:
  // Entries were added by a drop.
  void entriesChanged();

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
};

}  // namespace sg
