// Renumbering, grading and searching on the editing screen: the problem's
// number in both tables, its grade in the contents, and the contents list
// of one grade.
#include <cerrno>
#include <cstdlib>

#include "editing/editing_screen.h"
#include "library/move_row.h"
#include "library/sequence_walks.h"

namespace sorabeku {
namespace {

// The text as a whole number, with blanks around it allowed; false for
// anything else, including numbers outside 32 bits.
bool ParseWholeNumber(const std::string& text, int& value) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string::npos) return false;
  const auto last = text.find_last_not_of(' ');
  const std::string digits = text.substr(first, last - first + 1);
  errno = 0;
  char* end = nullptr;
  const long n = std::strtol(digits.c_str(), &end, 10);
  if (end != digits.c_str() + digits.size() || errno == ERANGE ||
      n < -2147483648L || n > 2147483647L) {
    return false;
  }
  value = static_cast<int>(n);
  return true;
}

// The section a problem number is listed in, 0 when none lists it.
int SectionOf(int number) {
  for (int section = 1; section <= 3; ++section) {
    if (number > SectionLow(section) && number < SectionHigh(section)) {
      return section;
    }
  }
  return 0;
}

}  // namespace

std::string NotAnIntegerMessage(const std::string& text) {
  return "「" + text + "」は番号ではありません。問題番号を半角数字で入力してください（出入の部 1〜999、手筋の部 1001〜1999、地中の部 2001〜2999）。";
}

// Whether the contents list of `section` and grade `mode` holds `number`;
// the list is left open on it (or on its first row).
bool EditingScreen::ContentsHasNumber(int section, int mode, int number) {
  queries_.OpenContents(section, mode);
  return queries_.KuraQuery1().Locate("MNB", {std::int64_t{number}});
}

// A number is free when no row of either table carries it. The contents
// list of the number's section shows every contents row that could; the
// list the user was looking at is opened again afterwards, on the problem
// being renumbered.
bool EditingScreen::NumberIsFree(int number) {
  MainState& s = form_.state;
  queries_.OpenProblemRows(number);
  const bool rowsFree = rows().RecordCount() == 0;
  queries_.OpenProblemRows(s.CurrentProblem);
  const bool contentsFree = !ContentsHasNumber(SectionOf(number), 0, number);
  ContentsHasNumber(s.CurrentSection, contentsMode_, s.CurrentProblem);
  return rowsFree && contentsFree;
}

// Every row of problem `from` gets MNB `to`; each row leaves the result
// when it is stored, so every pass works on the first remaining row.
void EditingScreen::MoveProblemRows(int from, int to) {
  queries_.OpenProblemRows(from);
  kura::TDataSet& r = rows();
  r.First();
  for (int left = r.RecordCount(); left > 0 && !r.Eof(); --left) {
    r.Edit();
    r.SetFieldAsInteger(figure::MNB, to);
    r.Post();
    r.First();
  }
}

void EditingScreen::CuteButton11Click() {
  MainState& s = form_.state;
  const std::string text = form_.screen.control("Edit1").text;
  int n = 0;
  if (!ParseWholeNumber(text, n)) {
    form_.services().messages->Error(NotAnIntegerMessage(text));
    return;
  }
  // A number that no section lists would hide the problem for good.
  if (SectionOf(n) == 0) {
    form_.services().messages->Information(kInvalidNumber);
    return;
  }
  kura::TDataSet& contents = queries_.KuraQuery1();
  if (s.CurrentProblem == 0 || !contents.Active() ||
      !contents.Locate("MNB", {std::int64_t{s.CurrentProblem}})) {
    form_.services().messages->Information(kDoubleClickContents);
    return;
  }
  if (n == s.CurrentProblem) return;  // already so numbered
  // Two problems under one number could never be told apart again.
  if (!NumberIsFree(n)) {
    form_.services().messages->Information(kNumberInUse);
    return;
  }
  const int old = s.CurrentProblem;
  try {
    InTransaction([&] {
      MoveProblemRows(old, n);
      s.CurrentProblem = n;
      queries_.OpenProblemRows(n);
      rows().First();
      contents.Edit();
      contents.SetFieldAsInteger(mokuji::MNB, n);
      contents.Post();
    });
  } catch (...) {
    s.CurrentProblem = old;
    queries_.OpenProblemRows(old);
    throw;
  }
}

void EditingScreen::ComboBox2Change() {
  const int item = form_.screen.control("ComboBox2").itemIndex;
  kura::TDataSet& contents = queries_.KuraQuery1();
  if (item >= 0 && contents.Active() && contents.RecordCount() > 0) {
    contents.Edit();
    contents.SetFieldAsInteger(mokuji::SIZE, item + 1);
    contents.Post();
  }
  form_.ResetBoard();
}

void EditingScreen::ComboBox1Change() {
  const int item = form_.screen.control("ComboBox1").itemIndex;
  form_.OpenContents(item < 0 ? 0 : item);
  form_.ResetBoard();
  kura::TDataSet& contents = queries_.KuraQuery1();
  if (!contents.Active() || RowInt(contents, mokuji::MNB) == 0) {
    form_.services().messages->Information(kNoMatchingProblem);
  }
}

}  // namespace sorabeku
