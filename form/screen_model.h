// The screen model: everything the main window shows, as plain data. The
// handlers write it; the Qt window draws it; tests and the driver read it.
#pragma once

#include <array>
#include <map>
#include <string>
#include <vector>

#include "form/point.h"
#include "form/win_colour.h"

namespace sorabeku {

enum class Picture { kNone, kBlack, kWhite };

// Picture cell "Image"n and label "Label"n of one point.
struct Cell {
  Picture picture = Picture::kNone;
  std::string text = " ";
  WinColour colour = kBlackText;
  bool bold = false;
  bool opaque = false;  // opaque labels have the board colour behind them

  // True while the cell looks as ResetBoard leaves it (colour and style
  // are not part of that: the reset keeps them).
  bool IsReset() const {
    return picture == Picture::kNone && text == " " && !opaque;
  }
};

enum class ControlKind { kLabel, kGrid, kComboBox, kEdit, kButton };

// A named control of the side panel. Positions are client pixels.
struct Control {
  ControlKind kind = ControlKind::kLabel;
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  bool visible = true;
  std::string text;  // caption, edit text, or a combo box's empty text
  std::vector<std::string> items;  // combo box items
  int itemIndex = -1;              // chosen combo box item; -1 none
  WinColour colour = kButtonFace;  // button bevel colour
  bool bold = false;

  // The text a combo box shows: its chosen item, else its own text.
  const std::string& ShownText() const {
    return itemIndex >= 0 && itemIndex < static_cast<int>(items.size())
               ? items[itemIndex]
               : text;
  }
};

// Whether a grid follows its data source; walks over many rows detach it.
struct GridLink {
  bool attached = true;
};

// Which problem row's comment the comment field shows on the training
// screen. While the problem cursor is on the base diagram's end row
// (`endTnb`) the field shows and edits the comment of the row `questionTnb`,
// the base diagram's last stone, whose comment is the problem's question:
// the end row is often a text mark whose comment is only its letter. Both
// 0: the field follows the current row.
struct CommentLink {
  int endTnb = 0;
  int questionTnb = 0;
};

struct ScreenModel {
  std::array<Cell, kPointCount + 1> cells{};  // 1..361; 0 unused
  std::array<std::string, 3> panels{};        // the status bar
  std::map<std::string, Control> controls;    // by name
  GridLink grid1;
  GridLink grid2;
  CommentLink comment;

  // The control called `name`; throws std::out_of_range for an unknown name.
  Control& control(const std::string& name) { return controls.at(name); }
  const Control& control(const std::string& name) const {
    return controls.at(name);
  }
};

// The side panel's controls as designed, before any layout is applied.
std::map<std::string, Control> DesignedControls();

// Control names and captions used by more than one module.
inline constexpr const char* kTrainingScreenName = "道場画面";
inline constexpr const char* kEditingScreenName = "編集画面";

}  // namespace sorabeku
