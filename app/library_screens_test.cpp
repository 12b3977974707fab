// The library joined to the form: texts stored in Shift-JIS reach the
// board, the status panels and the grids as UTF-8.
#include "app/library_screens.h"

#include <gtest/gtest.h>

#include "form/recording_services.h"
#include "library/move_row.h"
#include "library/testing/memory_library.h"

namespace sorabeku {
namespace {

TEST(LibraryScreensTest, ShiftJisTextsShowAsUtf8) {
  testing::MemoryLibrary tables;
  tables.AddProblem(7, 3, "\x8d\x95\x90\xe6");  // "黒先"
  tables.AddRow({.mnb = 7, .col = 1, .pst = 45, .bto = kRootMarker,
                 .cmt = "\x94\x92"});  // "白"
  tables.AddRow({.mnb = 7, .col = 3, .pst = 46, .bfr = 1,
                 .cmt = "\x82\xa0", .dix = 22});  // "あ"
  RecordingServices platform;
  MainForm form(platform.services(), "/p/");
  LibraryScreens screens(tables, form);
  form.Create();

  ASSERT_NE(form.contentsSource, nullptr);
  ASSERT_EQ(form.contentsSource->RowCount(), 1);
  EXPECT_EQ(form.contentsSource->Text(0, "CMT"), "黒先");
  form.DBGrid1CellClick();
  EXPECT_EQ(form.state.CurrentProblem, 7);
  EXPECT_EQ(form.screen.panels[1], "白");
  EXPECT_EQ(form.screen.cells[46].text, "あ");
  ASSERT_EQ(form.rowsSource->RowCount(), 2);
  EXPECT_EQ(form.rowsSource->Text(1, "CMT"), "あ");

  // Text typed into a grid is stored in Shift-JIS, or refused whole.
  form.rowsSource->SetText(0, "CMT", "黒");
  EXPECT_EQ(tables.figure().records()[0].Str(figure::CMT), "\x8d\x95");
  EXPECT_THROW(form.rowsSource->SetText(0, "CMT", "😀"), TextNotStorable);
  EXPECT_EQ(tables.figure().records()[0].Str(figure::CMT), "\x8d\x95");
}

}  // namespace
}  // namespace sorabeku
