// The fixture of the editing-screen scenarios: a main form with both
// screens installed over a problem library, and helpers that click, type
// and read back the stored rows.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "board/board_view.h"
#include "board/click_map.h"
#include "editing/editing_screen.h"
#include "form/recording_services.h"
#include "library/move_row.h"
#include "library/sequence_walks.h"
#include "library/testing/test_library.h"
#include "main_form/main_form.h"
#include "training/training_screen.h"

namespace sorabeku::testing {

// A stored row as the tests compare it: TES, COL, PST, BFR, BTO, TNB, CMT,
// DIX.
using Row = std::tuple<int, int, int, int, int, int, std::string, int>;

class EditingTest : public ::testing::Test {
 protected:
  explicit EditingTest(TestLibrary* lib = nullptr)
      : owned_(lib ? nullptr : MakeTestLibrary()),
        lib(lib ? *lib : *owned_),
        form(platform.services(), "/p/"),
        training(form, this->lib),
        editing(form, this->lib, training) {
    training.Install();
    editing.Install();
  }

  void Start() {
    if (!lib.KuraQuery1().Active()) form.Create();
    form.N9Click();  // the editing screen
  }
  void Load(int mnb) {
    Start();
    ASSERT_TRUE(lib.KuraQuery1().Locate("MNB", {std::int64_t{mnb}}));
    form.DBGrid1CellClick();
  }
  void Edit1(const std::string& text) { form.screen.control("Edit1").text = text; }
  void Click(PointIndex p, MouseButton b = MouseButton::kLeft) {
    const Rect r = LabelRect(p);
    form.Label1MouseDown(r.left, r.top, b);
  }
  // The rows of problem `mnb` in stored order; reopens the problem result.
  std::vector<Row> RowsOf(int mnb) {
    std::vector<Row> out;
    kura::TDataSet& r = lib.KuraQuery2();
    lib.OpenProblemRows(mnb);
    for (r.First(); !r.Eof(); r.Next()) {
      out.emplace_back(RowInt(r, figure::TES), RowInt(r, figure::COL),
                       RowInt(r, figure::PST), RowInt(r, figure::BFR),
                       RowInt(r, figure::BTO), RowInt(r, figure::TNB),
                       r.FieldAsString(figure::CMT), RowInt(r, figure::DIX));
    }
    return out;
  }
  int Current(int column) { return RowInt(lib.KuraQuery2(), column); }
  std::vector<std::string> Messages() {
    auto out = platform.messages;
    platform.messages.clear();
    return out;
  }
  std::vector<int> Sounds() {
    auto out = platform.sounds;
    platform.sounds.clear();
    return out;
  }
  std::map<int, int> Stones() const {
    std::map<int, int> out;
    for (int p = 1; p <= kPointCount; ++p) {
      if (form.state.Board[p] != 0) out[p] = form.state.Board[p];
    }
    return out;
  }

  RecordingServices platform;
  std::unique_ptr<TestLibrary> owned_;
  TestLibrary& lib;
  MainForm form;
  TrainingScreen training;
  EditingScreen editing;
};

}  // namespace sorabeku::testing
