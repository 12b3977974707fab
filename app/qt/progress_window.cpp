#include "app/qt/progress_window.h"

#include <QDate>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QLineSeries>
#include <QtCharts/QScatterSeries>
#include <QtCharts/QValueAxis>
#include <cmath>

#include "app/qt/qt_look.h"

namespace sorabeku {
namespace {

QString U(const char* s) { return QString::fromUtf8(s); }

QDate DateOf(int day) { return QDate(1970, 1, 1).addDays(day); }
QDateTime Midnight(int day) { return QDateTime(DateOf(day), QTime(0, 0)); }

// The date axis: a day either side of the days with answers, ticks on
// whole days, at most about ten of them.
struct DayTicks {
  int from = 0;
  int to = 0;
  int count = 2;
};

DayTicks TicksFor(int first, int last) {
  const int span = last - first + 2;
  const int step = (span + 9) / 10;
  const int steps = (span + step - 1) / step;
  return {first - 1, first - 1 + steps * step, steps + 1};
}

double Percent(const progress::DayAccuracy& d) {
  return d.answers == 0 ? 0.0 : 100.0 * d.right / d.answers;
}

QTableWidgetItem* Cell(const QString& text, Qt::Alignment align = Qt::AlignRight) {
  auto* item = new QTableWidgetItem(text);
  item->setTextAlignment(align | Qt::AlignVCenter);
  item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
  return item;
}

QTableWidget* NewTable(QWidget* parent, const QStringList& headers) {
  auto* table = new QTableWidget(0, headers.size(), parent);
  table->setHorizontalHeaderLabels(headers);
  table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table->setSelectionBehavior(QAbstractItemView::SelectRows);
  table->setSelectionMode(QAbstractItemView::SingleSelection);
  table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
  table->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  return table;
}

QLabel* Heading(const char* text, QWidget* parent) {
  auto* label = new QLabel(U(text), parent);
  label->setFont(WindowFont(true));
  return label;
}

}  // namespace

const char* SectionName(int section) {
  switch (section) {
    case 1: return "出入の部";
    case 2: return "手筋の部";
    case 3: return "地中の部";
    default: return "部の外";
  }
}

ProgressWindow::ProgressWindow(const progress::ProgressFigures& figures, OpenProblem open,
                               QWidget* parent)
    : QDialog(parent), figures_(figures), open_(std::move(open)) {
  setObjectName("ProgressWindow");
  setWindowTitle(U(kProgressWindowTitle));
  setFont(WindowFont());
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Heading("部ごとの成績", this));
  layout->addWidget(BuildSections(figures));
  layout->addWidget(Heading("正答率の推移", this));
  layout->addWidget(BuildChart(figures), 1);
  layout->addWidget(Heading("よく間違える問題（ダブルクリックで開きます）", this));
  layout->addWidget(BuildMissed(figures));
  resize(640, 640);
}

QWidget* ProgressWindow::BuildSections(const progress::ProgressFigures& figures) {
  sections_ = NewTable(this, {U("挑戦した問題"), U("一度で正解"), U("今日の復習")});
  sections_->setObjectName("ProgressSections");
  sections_->setSelectionMode(QAbstractItemView::NoSelection);
  // The three sections always; problems outside them only when there are.
  for (int section : {1, 2, 3, 0}) {
    const progress::SectionFigures& f = figures.sections[section];
    if (section == 0 && f.tried == 0 && f.due == 0) continue;
    const int row = sections_->rowCount();
    sections_->insertRow(row);
    sections_->setVerticalHeaderItem(row, new QTableWidgetItem(U(SectionName(section))));
    sections_->setItem(row, 0, Cell(QString::number(f.tried)));
    sections_->setItem(row, 1, Cell(QString::number(f.solvedFirstTry)));
    sections_->setItem(row, 2, Cell(QString::number(f.due)));
  }
  sections_->horizontalHeader()->setFixedHeight(sections_->horizontalHeader()->sizeHint().height());
  int height = sections_->horizontalHeader()->height() + 2 * sections_->frameWidth();
  sections_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  for (int r = 0; r < sections_->rowCount(); ++r) {
    sections_->setRowHeight(r, 22);
    height += 22;
  }
  sections_->setFixedHeight(height);
  sections_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  sections_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  sections_->setFocusPolicy(Qt::NoFocus);
  return sections_;
}

QWidget* ProgressWindow::BuildChart(const progress::ProgressFigures& figures) {
  auto* chart = new QChart;
  chart->legend()->hide();
  chart->setMargins(QMargins(4, 4, 4, 4));
  auto* line = new QLineSeries(chart);
  auto* dots = new QScatterSeries(chart);
  dots->setMarkerSize(8);
  dots_ = dots;
  for (const progress::DayAccuracy& d : figures.accuracy) {
    const QPointF p(Midnight(d.day).toMSecsSinceEpoch(), Percent(d));
    line->append(p);
    dots->append(p);
  }
  chart->addSeries(line);
  chart->addSeries(dots);
  auto* x = new QDateTimeAxis(chart);
  x->setFormat("M/d");
  auto* y = new QValueAxis(chart);
  // A little room above 100 %, so that its points are drawn whole.
  y->setRange(0, 104);
  y->setTickType(QValueAxis::TicksDynamic);
  y->setTickAnchor(0);
  y->setTickInterval(20);
  y->setLabelFormat("%d%%");
  const QFont font = WindowFont();
  x->setLabelsFont(font);
  y->setLabelsFont(font);
  chart->addAxis(x, Qt::AlignBottom);
  chart->addAxis(y, Qt::AlignLeft);
  for (QAbstractSeries* s : chart->series()) {
    s->attachAxis(x);
    s->attachAxis(y);
  }
  const int first = figures.accuracy.empty() ? 0 : figures.accuracy.front().day;
  const int last = figures.accuracy.empty() ? 0 : figures.accuracy.back().day;
  const DayTicks ticks = TicksFor(first, last);
  x->setRange(Midnight(ticks.from), Midnight(ticks.to));
  x->setTickCount(ticks.count);
  if (figures.accuracy.empty()) chart->setTitle(U("まだ答えの記録がありません。"));
  auto* view = new QChartView(chart, this);
  view->setObjectName("AccuracyChart");
  view->setRenderHint(QPainter::Antialiasing);
  view->setMinimumHeight(220);
  chart_ = view;
  return view;
}

QWidget* ProgressWindow::BuildMissed(const progress::ProgressFigures& figures) {
  missed_ = NewTable(this, {U("問題番号"), U("間違えた回数"), U("版")});
  missed_->setObjectName("MostMissed");
  missed_->verticalHeader()->hide();
  for (const progress::MissedProblem& m : figures.mostMissed) {
    const int row = missed_->rowCount();
    missed_->insertRow(row);
    missed_->setItem(row, 0, Cell(QString::number(m.mnb)));
    missed_->setItem(row, 1, Cell(QString::number(m.misses)));
    missed_->setItem(row, 2, Cell(U(m.olderVersion ? "旧版" : "現行"), Qt::AlignCenter));
  }
  missed_->setMinimumHeight(150);
  connect(missed_, &QTableWidget::cellDoubleClicked, this,
          [this](int row, int) { OpenMissed(row); });
  return missed_;
}

void ProgressWindow::OpenMissed(int row) {
  if (row < 0 || row >= static_cast<int>(figures_.mostMissed.size())) return;
  if (open_ && open_(figures_.mostMissed[row])) close();
}

nlohmann::json ProgressWindow::Dump() const {
  nlohmann::json d;
  d["title"] = windowTitle().toStdString();
  nlohmann::json& sections = d["sections"] = nlohmann::json::array();
  for (int r = 0; r < sections_->rowCount(); ++r) {
    sections.push_back({{"name", sections_->verticalHeaderItem(r)->text().toStdString()},
                        {"tried", sections_->item(r, 0)->text().toInt()},
                        {"solvedFirstTry", sections_->item(r, 1)->text().toInt()},
                        {"due", sections_->item(r, 2)->text().toInt()}});
  }
  nlohmann::json& points = d["accuracy"] = nlohmann::json::array();
  for (const QPointF& p : dots_->points()) {
    const QDate date = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(p.x())).date();
    points.push_back({{"date", date.toString(Qt::ISODate).toStdString()},
                      {"percent", std::lround(p.y())}});
  }
  nlohmann::json& missed = d["mostMissed"] = nlohmann::json::array();
  for (int r = 0; r < missed_->rowCount(); ++r) {
    missed.push_back({{"mnb", missed_->item(r, 0)->text().toInt()},
                      {"misses", missed_->item(r, 1)->text().toInt()},
                      {"older", missed_->item(r, 2)->text() == U("旧版")}});
  }
  return d;
}

}  // namespace sorabeku
