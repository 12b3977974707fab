#include "engine/storage/index_page_cache.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "engine/errors/kura_error.h"

namespace kura {
namespace {

constexpr std::int32_t kMaxPages = 2000000000;
constexpr std::uint64_t kMaxFileBytes = 4000000000ull;
constexpr std::size_t kMaxSparePages = 8;

// Sessions in several threads have caches of their own; the numbers stay
// unique across them.
std::atomic<std::uint64_t> loads{0};

}  // namespace

void CheckPageLimit(std::int32_t next, const std::string& table) {
  if (next > kMaxPages || (std::uint64_t(next) + 1) * kPageBytes > kMaxFileBytes)
    Raise(KURA_TABLEFULL, {.table = table});
}

void MemoryPageFile::ReadPage(std::int32_t n, std::uint8_t* dst) {
  std::memcpy(dst, Image(n), kPageBytes);
}

void MemoryPageFile::WritePages(std::int32_t first, std::size_t count, const std::uint8_t* src) {
  ++writes_;
  for (std::size_t i = 0; i < count; ++i)
    std::memcpy(Image(first + std::int32_t(i)), src + i * kPageBytes, kPageBytes);
}

std::int32_t MemoryPageFile::AppendPage() {
  CheckPageLimit(next_, {});
  pages_.emplace_back();
  pages_.back().fill(0);
  return next_++;
}

void WritePageRuns(std::vector<TPage*> pages, PageFile& file) {
  pages.erase(std::remove_if(pages.begin(), pages.end(), [](TPage* p) { return !p->dirty; }),
              pages.end());
  std::sort(pages.begin(), pages.end(),
            [](const TPage* a, const TPage* b) { return a->Number() < b->Number(); });
  // Left uninitialised: Encode fills every byte of its page.
  std::unique_ptr<std::uint8_t[]> buf;
  std::size_t held = 0;
  for (std::size_t i = 0; i < pages.size();) {
    std::size_t j = i + 1;
    while (j < pages.size() && pages[j]->Number() == pages[j - 1]->Number() + 1) ++j;
    if (j - i > held) {
      held = j - i;
      buf.reset(new std::uint8_t[held * kPageBytes]);
    }
    for (std::size_t k = i; k < j; ++k) pages[k]->Encode(&buf[(k - i) * kPageBytes]);
    file.WritePages(pages[i]->Number(), j - i, buf.get());
    for (std::size_t k = i; k < j; ++k) pages[k]->dirty = false;
    i = j;
  }
}

TPageCache::TPageCache(const PageShape& shape, PageFile& file, std::string table)
    : shape_(shape), file_(file), table_(std::move(table)) {}

void TPageCache::Touch(TPage& page) {
  page.lastUse = ++tick_;
  if (recent_[0] == &page) return;
  auto it = std::find(recent_.begin(), recent_.end(), &page);
  if (it == recent_.end()) it = recent_.end() - 1;
  std::move_backward(recent_.begin(), it, it + 1);
  recent_[0] = &page;
}

TPage& TPageCache::Take(std::int32_t n) {
  std::unique_ptr<TPage> page;
  if (!spare_.empty()) {
    page = std::move(spare_.back());
    spare_.pop_back();
    page->Reset(n);
  } else {
    page = std::make_unique<TPage>(shape_, n);
  }
  page->load = loads.fetch_add(1, std::memory_order_relaxed) + 1;
  auto at = std::lower_bound(pages_.begin(), pages_.end(), n,
                             [](const std::unique_ptr<TPage>& p, std::int32_t v) {
                               return p->Number() < v;
                             });
  return **pages_.insert(at, std::move(page));
}

TPage* TPageCache::Cached(std::int32_t n) {
  for (TPage* p : recent_)
    if (p != nullptr && p->Number() == n) {
      Touch(*p);
      return p;
    }
  auto at = std::lower_bound(pages_.begin(), pages_.end(), n,
                             [](const std::unique_ptr<TPage>& p, std::int32_t v) {
                               return p->Number() < v;
                             });
  if (at == pages_.end() || (*at)->Number() != n) return nullptr;
  Touch(**at);
  return at->get();
}

TPage& TPageCache::Fetch(std::int32_t n) {
  if (TPage* cached = Cached(n)) return *cached;
  if (n < 1 || n >= file_.NextPageNumber()) Raise(KURA_INDEXCORRUPT, {.table = table_});
  std::array<std::uint8_t, kPageBytes> image;
  file_.ReadPage(n, image.data());
  TPage& page = Take(n);
  try {
    page.Decode(image.data(), table_.c_str());
  } catch (...) {
    Forget(page);  // a damaged page must not stay cached
    throw;
  }
  Touch(page);
  return page;
}

TPage& TPageCache::Append() {
  const std::int32_t n = file_.AppendPage();
  TPage& page = Take(n);
  page.dirty = true;
  Touch(page);
  return page;
}

void TPageCache::CollectDirty(std::vector<TPage*>& out) const {
  for (const auto& p : pages_)
    if (p->dirty) out.push_back(p.get());
}

void TPageCache::EndUpdate(std::size_t keepUnused) {
  std::vector<TPage*> dirty;
  CollectDirty(dirty);
  WritePageRuns(std::move(dirty), file_);
  Trim(keepUnused);
}

void TPageCache::Trim(std::size_t keepUnused) {
  auto unused = [](const TPage& p) { return p.useCount == 0 && !p.dirty; };
  std::vector<std::uint64_t> uses;
  for (const auto& p : pages_)
    if (unused(*p)) uses.push_back(p->lastUse);
  if (uses.size() <= keepUnused) return;
  std::nth_element(uses.begin(), uses.begin() + std::ptrdiff_t(keepUnused), uses.end(),
                   std::greater<>());
  // Pages used at or before this tick go; the keepUnused newer ones stay.
  const std::uint64_t newestDropped = uses[keepUnused];
  auto drop = [&](const TPage& p) { return unused(p) && p.lastUse <= newestDropped; };
  for (TPage*& r : recent_)
    if (r != nullptr && drop(*r)) r = nullptr;
  for (auto& p : pages_)
    if (drop(*p) && spare_.size() < kMaxSparePages) spare_.push_back(std::move(p));
  pages_.erase(std::remove_if(pages_.begin(), pages_.end(),
                              [&](const std::unique_ptr<TPage>& p) { return !p || drop(*p); }),
               pages_.end());
}

void TPageCache::Forget(TPage& page) {
  for (TPage*& r : recent_)
    if (r == &page) r = nullptr;
  pages_.erase(std::remove_if(pages_.begin(), pages_.end(),
                              [&](const std::unique_ptr<TPage>& p) { return p.get() == &page; }),
               pages_.end());
}

void TPageCache::DropAll() {
  pages_.clear();
  recent_.fill(nullptr);
}

}  // namespace kura
