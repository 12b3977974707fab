// CommentEdit: the comment field DBEdit1. A comment is one line of the
// table, but often longer than the field is wide, so the field wraps it
// over as many lines as its height holds (and scrolls past them) instead
// of showing only its end. Return or Enter ends the edit, as in a one-line
// field; a line break is never typed into the comment.
#pragma once

#include <QPlainTextEdit>

namespace sorabeku {

class CommentEdit : public QPlainTextEdit {
  Q_OBJECT
 public:
  explicit CommentEdit(QWidget* parent = nullptr);

  QString text() const { return toPlainText(); }
  // Shows `text` and clears the modified flag.
  void setText(const QString& text);
  bool isModified() const;
  void setModified(bool modified);

  // The height that shows `lines` lines of text whole.
  int HeightForLines(int lines) const;

 signals:
  // The user ended an edit: Return, Enter, or the field lost the focus.
  void editingFinished();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void insertFromMimeData(const QMimeData* source) override;
};

}  // namespace sorabeku
