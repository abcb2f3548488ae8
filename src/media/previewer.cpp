#include "media/previewer.h"

#include <mutex>

#include "media/bitmap.h"
#include "media/ff.h"
#include "media/main_thread.h"
#include "media/text_helpers.h"

namespace strella::media {

namespace {

std::mutex& FactoryLock() {
  static std::mutex lock;
  return lock;
}

TPreviewWindowFactory& Factory() {
  static TPreviewWindowFactory factory;
  return factory;
}

std::unique_ptr<TPreviewWindow> MakeWindow(TPreviewer& owner) {
  TPreviewWindowFactory factory;
  {
    std::lock_guard guard(FactoryLock());
    factory = Factory();
  }
  return factory ? factory(owner) : nullptr;
}

}  // namespace

std::string FormatPreviewTime(int64_t APTS) {
  if (APTS == AV_NOPTS_VALUE) return "N/A";
  const int64_t seconds = APTS / 1000000;
  return Format("%.2lld:%.2lld:%.2lld.%.3lld", static_cast<long long>(seconds / 60 / 60),
                static_cast<long long>((seconds / 60) % 60), static_cast<long long>(seconds % 60),
                static_cast<long long>((APTS % 1000000) * 1000 / 1000000));
}

void SetPreviewWindowFactory(TPreviewWindowFactory AFactory) {
  std::lock_guard guard(FactoryLock());
  Factory() = std::move(AFactory);
}

TPreviewer::~TPreviewer() {
  if (window_) RunOnMainThread([this] { window_.reset(); });
}

bool TPreviewer::Preview(const TBitmap* ABitmap, int AFrameNumber, int64_t APTS) {
  if (closed_ || !ABitmap) return !closed_;
  bitmap_ = ABitmap;
  frame_number_ = AFrameNumber;
  pts_ = APTS;
  RunOnMainThread([this] { ShowStep(); });
  return !closed_;
}

void TPreviewer::ShowStep() {
  if (closed_) return;
  if (!window_) window_ = MakeWindow(*this);
  if (!window_) {
    closed_ = true;
    return;
  }
  window_->ShowPicture(*bitmap_, FormatPreviewTime(pts_));
}

}  // namespace strella::media
