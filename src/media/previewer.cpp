#include "media/previewer.h"

#include <atomic>
#include <mutex>
#include <utility>

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

std::unique_ptr<TPreviewWindow> MakeWindow(std::function<void()> userClosed) {
  TPreviewWindowFactory factory;
  {
    std::lock_guard guard(FactoryLock());
    factory = Factory();
  }
  return factory ? factory(std::move(userClosed)) : nullptr;
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

// What the previewer, the main thread's show step and the window's close
// notice share; it lives as long as any of them needs it.
struct TPreviewer::TShared {
  std::atomic<bool> closed = false;
  std::mutex lock;  // guards the waiting picture and its values
  std::unique_ptr<TBitmap> waiting = std::make_unique<TBitmap>();
  int64_t waitingPts = 0;
  bool showPosted = false;
  // Main thread only.
  std::unique_ptr<TBitmap> showing = std::make_unique<TBitmap>();
  std::unique_ptr<TPreviewWindow> window;
};

namespace {

// Previews are never dropped by their owner's end: their calls keep what
// they use alive themselves.
const TMainThreadMailbox& PreviewMail() {
  static const TMainThreadMailbox mailbox;
  return mailbox;
}

bool HasWindowFactory() {
  std::lock_guard guard(FactoryLock());
  return static_cast<bool>(Factory());
}

void ShowWaitingPicture(const std::shared_ptr<TPreviewer::TShared>& shared) {
  int64_t pts = 0;
  {
    std::lock_guard guard(shared->lock);
    shared->showPosted = false;
    std::swap(shared->waiting, shared->showing);
    pts = shared->waitingPts;
  }
  if (shared->closed) return;
  if (!shared->window) {
    std::weak_ptr<TPreviewer::TShared> owner = shared;
    shared->window = MakeWindow([owner] {
      if (auto alive = owner.lock()) alive->closed = true;
    });
  }
  if (!shared->window) {
    shared->closed = true;
    return;
  }
  shared->window->ShowPicture(*shared->showing, FormatPreviewTime(pts));
}

}  // namespace

TPreviewer::TPreviewer() : shared_(std::make_shared<TShared>()) {}

TPreviewer::~TPreviewer() {
  PreviewMail().Post([shared = shared_] { shared->window.reset(); });
}

void TPreviewer::UserClosed() { shared_->closed = true; }

bool TPreviewer::Closed() const { return shared_->closed; }

bool TPreviewer::Preview(const TBitmap* ABitmap, int AFrameNumber, int64_t APTS) {
  if (!shared_->closed && !HasWindowFactory()) shared_->closed = true;
  if (shared_->closed || !ABitmap) return !shared_->closed;
  frame_number_ = AFrameNumber;
  pts_ = APTS;
  bool post = false;
  {
    std::lock_guard guard(shared_->lock);
    shared_->waiting->Assign(*ABitmap);
    shared_->waitingPts = APTS;
    post = !std::exchange(shared_->showPosted, true);
  }
  if (post) PreviewMail().Post([shared = shared_] { ShowWaitingPicture(shared); });
  return true;
}

}  // namespace strella::media
