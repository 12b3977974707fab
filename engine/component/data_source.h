// TDataSource and TDataLink: how bound views (grids, field editors) follow a
// dataset. A dataset tells each data source attached to it of every row
// change, scroll, state change and field change; the source passes the
// event on to its links while it is enabled. A view detached for a long
// walk (Enabled false, or DisableControls on the dataset) hears nothing and
// is told once that the whole dataset changed when it is attached again.
#pragma once

#include <vector>

namespace kura {

class TDataSet;

enum class TDataEvent {
  deFieldChange,     // a field of the edited row was assigned (info: field index)
  deRecordChange,    // the current row's values changed (post, cancel)
  deDataSetChange,   // open, close, append, delete, reattach: show everything again
  deDataSetScroll,   // another row became current
  deUpdateState,     // the dataset's state changed (browse, edit, insert, inactive)
};

class TDataLink {
 public:
  virtual ~TDataLink() = default;
  virtual void DataEvent(TDataEvent event, int info) = 0;
};

class TDataSource {
 public:
  // Attaches to `dataSet` (may be nullptr); both must outlive the other's
  // use of them, or be detached first.
  explicit TDataSource(TDataSet* dataSet = nullptr);
  ~TDataSource();
  TDataSource(const TDataSource&) = delete;
  TDataSource& operator=(const TDataSource&) = delete;

  TDataSet* DataSet() const { return dataSet_; }
  void SetDataSet(TDataSet* dataSet);

  // A disabled source passes no events; enabling it again sends
  // deDataSetChange to its links.
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);

  void AddLink(TDataLink* link);
  void RemoveLink(TDataLink* link);

  // Called by the dataset.
  void Notify(TDataEvent event, int info);
  // Called by a dataset that is being destroyed.
  void DataSetGone() { dataSet_ = nullptr; }

 private:
  TDataSet* dataSet_ = nullptr;
  bool enabled_ = true;
  std::vector<TDataLink*> links_;
};

}  // namespace kura
