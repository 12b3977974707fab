#include "engine/component/data_set.h"

#include <algorithm>

#include "engine/errors/kura_error.h"

namespace kura {

TField TDataSet::FieldByName(std::string_view name) {
  const int index = FindField(name);
  if (index < 0) Raise(KURA_OUTOFRANGE, {.field = std::string(name)});
  return TField(*this, index);
}

}  // namespace kura

namespace kura {

TDataSet::~TDataSet() {
  for (TDataSource* s : dataSources_) s->DataSetGone();
}

void TDataSet::AttachDataSource(TDataSource* source) {
  if (std::find(dataSources_.begin(), dataSources_.end(), source) == dataSources_.end()) {
    dataSources_.push_back(source);
  }
}

void TDataSet::DetachDataSource(TDataSource* source) {
  const auto it = std::find(dataSources_.begin(), dataSources_.end(), source);
  if (it != dataSources_.end()) dataSources_.erase(it);
}

void TDataSet::NotifyDataSources(TDataEvent event, int info) {
  if (ControlsDisabled() || dataSources_.empty()) return;
  // A copy: a source may detach itself while it is told.
  const std::vector<TDataSource*> sources = dataSources_;
  for (TDataSource* s : sources) s->Notify(event, info);
}

// ---- TDataSource -----------------------------------------------------------------

TDataSource::TDataSource(TDataSet* dataSet) { SetDataSet(dataSet); }

// Links are not told: they may be gone already.
TDataSource::~TDataSource() {
  if (dataSet_ != nullptr) dataSet_->DetachDataSource(this);
}

void TDataSource::SetDataSet(TDataSet* dataSet) {
  if (dataSet_ == dataSet) return;
  if (dataSet_ != nullptr) dataSet_->DetachDataSource(this);
  dataSet_ = dataSet;
  if (dataSet_ != nullptr) dataSet_->AttachDataSource(this);
  Notify(TDataEvent::deDataSetChange, 0);
}

void TDataSource::SetEnabled(bool enabled) {
  if (enabled_ == enabled) return;
  enabled_ = enabled;
  if (enabled_) Notify(TDataEvent::deDataSetChange, 0);
}

void TDataSource::AddLink(TDataLink* link) {
  if (std::find(links_.begin(), links_.end(), link) == links_.end()) links_.push_back(link);
}

void TDataSource::RemoveLink(TDataLink* link) {
  const auto it = std::find(links_.begin(), links_.end(), link);
  if (it != links_.end()) links_.erase(it);
}

void TDataSource::Notify(TDataEvent event, int info) {
  if (!enabled_) return;
  const std::vector<TDataLink*> links = links_;
  for (TDataLink* l : links) l->DataEvent(event, info);
}

}  // namespace kura
