#include "app/qt/comment_edit.h"

#include <QKeyEvent>
#include <QMimeData>
#include <QTextDocument>

namespace sorabeku {

CommentEdit::CommentEdit(QWidget* parent) : QPlainTextEdit(parent) {
  setLineWrapMode(QPlainTextEdit::WidgetWidth);
  // Japanese has no spaces between words: wrap anywhere when a word does
  // not fit.
  setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setTabChangesFocus(true);
  document()->setDocumentMargin(2);
  // Setting the margin counts as a change of the text: none is pending.
  document()->setModified(false);
}

void CommentEdit::setText(const QString& text) {
  setPlainText(text);
  setModified(false);
}

bool CommentEdit::isModified() const { return document()->isModified(); }

void CommentEdit::setModified(bool modified) {
  document()->setModified(modified);
}

int CommentEdit::HeightForLines(int lines) const {
  const int margins = 2 * static_cast<int>(document()->documentMargin()) +
                      2 * frameWidth();
  return lines * fontMetrics().lineSpacing() + margins;
}

void CommentEdit::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    emit editingFinished();
    return;
  }
  QPlainTextEdit::keyPressEvent(event);
}

void CommentEdit::focusOutEvent(QFocusEvent* event) {
  QPlainTextEdit::focusOutEvent(event);
  emit editingFinished();
}

// Pasted text becomes one line: a comment holds no line breaks.
void CommentEdit::insertFromMimeData(const QMimeData* source) {
  QString text = source->text();
  text.replace(QLatin1String("\r\n"), QLatin1String(" "));
  text.replace(QLatin1Char('\n'), QLatin1Char(' '));
  text.replace(QLatin1Char('\r'), QLatin1Char(' '));
  insertPlainText(text);
}

}  // namespace sorabeku
