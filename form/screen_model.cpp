#include "form/screen_model.h"

#include <cstdio>

namespace sorabeku {
namespace {

Control Make(ControlKind kind, int left, int top, int width, int height,
             std::string text) {
  Control c;
  c.kind = kind;
  c.left = left;
  c.top = top;
  c.width = width;
  c.height = height;
  c.text = std::move(text);
  return c;
}

Control Button(int left, int top, std::string caption,
               WinColour colour = kButtonFace) {
  Control c = Make(ControlKind::kButton, left, top, 75, 22, std::move(caption));
  c.colour = colour;
  return c;
}

// Grade items: " 1" ... " 9", "10" ... "25", each padded to `width`.
std::vector<std::string> GradeItems(int width) {
  std::vector<std::string> items;
  for (int g = 1; g <= 25; ++g) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "%*d", width, g);
    items.emplace_back(buffer);
  }
  return items;
}

}  // namespace

std::map<std::string, Control> DesignedControls() {
  std::map<std::string, Control> c;
  c["Label362"] = Make(ControlKind::kLabel, 584, 10, 52, 12, kTrainingScreenName);
  c["Label362"].bold = true;
  c["Label364"] = Make(ControlKind::kLabel, 640, 10, 60, 12, "（出入の部）");
  c["Label363"] = Make(ControlKind::kLabel, 560, 290, 61, 12, "手のコメント");
  c["DBGrid1"] = Make(ControlKind::kGrid, 552, 56, 177, 41, "");
  c["DBGrid2"] = Make(ControlKind::kGrid, 556, 144, 179, 73, "");
  c["DBEdit1"] = Make(ControlKind::kEdit, 560, 304, 169, 20, "");
  c["Edit1"] = Make(ControlKind::kEdit, 664, 344, 33, 20, "番号");

  c["ComboBox2"] = Make(ControlKind::kComboBox, 672, 264, 50, 20, "評価");
  c["ComboBox2"].items = GradeItems(2);
  c["ComboBox1"] = Make(ControlKind::kComboBox, 562, 344, 50, 20, "検索");
  c["ComboBox1"].items = GradeItems(3);
  c["ComboBox1"].items.insert(c["ComboBox1"].items.begin(), "全て");

  c["CuteButton11"] = Make(ControlKind::kButton, 704, 344, 41, 20, "番号");
  c["CuteButton2"] = Button(560, 376, "基本図登録", 16106470);
  c["CuteButton3"] = Button(672, 376, "基本図削除");
  c["CuteButton8"] = Button(560, 408, "手順登録", 14474495);
  c["CuteButton4"] = Button(672, 408, "手順削除");
  c["CuteButton1"] = Button(560, 440, "１手順戻す");
  c["CuteButton10"] = Button(672, 440, "手順表示", 16777170);
  c["CuteButton7"] = Button(560, 472, "1手戻す");
  c["CuteButton5"] = Button(672, 472, "1手進む", kSkyBlue);
  c["CuteButton6"] = Button(560, 504, "クリア");
  c["CuteButton9"] = Button(672, 504, "元に戻す");
  return c;
}

}  // namespace sorabeku
