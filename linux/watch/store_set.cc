#include "linux/watch/store_set.h"

#include <sys/epoll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "host/application.h"
#include "host/folder.h"

namespace varnox::watch {
namespace {

// The roots of every application, one after another.
class JoinedRoots final : public host::Folders {
 public:
  explicit JoinedRoots(std::vector<std::unique_ptr<host::Folders>> parts)
      : parts_(std::move(parts)) {}

  HResult GetFirst(std::unique_ptr<host::Folder>* folder) override {
    part_ = 0;
    started_ = false;
    return GetNext(folder);
  }
  HResult GetNext(std::unique_ptr<host::Folder>* folder) override {
    folder->reset();
    for (; part_ < parts_.size(); ++part_, started_ = false) {
      const HResult hr =
          started_ ? parts_[part_]->GetNext(folder) : parts_[part_]->GetFirst(folder);
      started_ = true;
      if (Failed(hr))
        return hr;
      if (*folder != nullptr)
        return kSOk;
    }
    return kSOk;
  }
  // Roots are neither made nor announced here.
  HResult Add(std::string_view, std::int32_t, std::unique_ptr<host::Folder>*) override {
    return kENotImpl;
  }
  HResult Advise(host::FoldersEventSink*, host::Cookie*) override { return kENotImpl; }
  HResult Unadvise(host::Cookie) override { return kENotImpl; }

 private:
  std::vector<std::unique_ptr<host::Folders>> parts_;
  std::size_t part_ = 0;
  bool started_ = false;
};

class JoinedNameSpace final : public host::NameSpace {
 public:
  explicit JoinedNameSpace(std::vector<std::unique_ptr<host::NameSpace>> parts)
      : parts_(std::move(parts)) {}
  HResult GetFolders(std::unique_ptr<host::Folders>* roots) override {
    std::vector<std::unique_ptr<host::Folders>> all;
    for (auto& part : parts_) {
      std::unique_ptr<host::Folders> folders;
      if (const HResult hr = part->GetFolders(&folders); Failed(hr))
        return hr;
      if (folders == nullptr)
        return kEPointer;
      all.push_back(std::move(folders));
    }
    *roots = std::make_unique<JoinedRoots>(std::move(all));
    return kSOk;
  }

 private:
  std::vector<std::unique_ptr<host::NameSpace>> parts_;
};

class JoinedApplication final : public host::Application {
 public:
  explicit JoinedApplication(std::vector<std::unique_ptr<host::Application>> parts)
      : parts_(std::move(parts)) {}
  HResult Session(std::unique_ptr<host::NameSpace>* name_space) override {
    std::vector<std::unique_ptr<host::NameSpace>> all;
    for (auto& part : parts_) {
      std::unique_ptr<host::NameSpace> one;
      if (const HResult hr = part->Session(&one); Failed(hr))
        return hr;
      if (one == nullptr)
        return kEPointer;
      all.push_back(std::move(one));
    }
    *name_space = std::make_unique<JoinedNameSpace>(std::move(all));
    return kSOk;
  }

 private:
  std::vector<std::unique_ptr<host::Application>> parts_;
};

}  // namespace

StoreSet::StoreSet() : epoll_fd_(::epoll_create1(EPOLL_CLOEXEC)) {}

StoreSet::~StoreSet() {
  if (epoll_fd_ >= 0)
    ::close(epoll_fd_);
}

void StoreSet::Add(host::StoreLoop& loop) {
  loops_.push_back(&loop);
  stores_.insert(stores_.end(), loop.stores().begin(), loop.stores().end());
  const int fd = loop.WatchDescriptor();
  if (fd >= 0 && epoll_fd_ >= 0) {
    epoll_event event = {};
    event.events = EPOLLIN;
    event.data.fd = fd;
    ::epoll_ctl(epoll_fd_, EPOLL_CTL_ADD, fd, &event);
  }
}

host::StoreLoop* StoreSet::LoopOf(const std::string& store) const {
  for (host::StoreLoop* loop : loops_) {
    const auto& names = loop->stores();
    if (std::find(names.begin(), names.end(), store) != names.end())
      return loop;
  }
  return nullptr;
}

std::unique_ptr<host::Application> StoreSet::ApplicationRef() {
  if (loops_.size() == 1)
    return loops_.front()->ApplicationRef();
  std::vector<std::unique_ptr<host::Application>> parts;
  for (host::StoreLoop* loop : loops_)
    parts.push_back(loop->ApplicationRef());
  return std::make_unique<JoinedApplication>(std::move(parts));
}

int StoreSet::Poll(int timeout_ms) {
  if (loops_.size() == 1)
    return loops_.front()->Poll(timeout_ms);
  // A loop without a descriptor waits in its own Poll: the set then only
  // looks at the others.
  const bool all_wait = epoll_fd_ >= 0 && std::all_of(loops_.begin(), loops_.end(), [](auto* l) {
                          return l->WatchDescriptor() >= 0;
                        });
  if (all_wait && timeout_ms != 0) {
    epoll_event event;
    if (::epoll_wait(epoll_fd_, &event, 1, timeout_ms) < 0 && errno != EINTR)
      return -1;
  }
  int delivered = 0;
  for (host::StoreLoop* loop : loops_) {
    const int one = loop->Poll(0);
    if (one < 0)
      return one;
    delivered += one;
  }
  return delivered;
}

int StoreSet::WatchDescriptor() const {
  return loops_.size() == 1 ? loops_.front()->WatchDescriptor() : epoll_fd_;
}

int StoreSet::CatchUp() {
  int delivered = 0;
  for (host::StoreLoop* loop : loops_)
    delivered += loop->CatchUp();
  return delivered;
}

void StoreSet::SetCatchUpPolicy(host::CatchUpPolicy policy) {
  for (host::StoreLoop* loop : loops_)
    loop->SetCatchUpPolicy(policy);
}

const host::MessageIdentity* StoreSet::Delivering() const {
  for (host::StoreLoop* loop : loops_) {
    if (const host::MessageIdentity* message = loop->Delivering())
      return message;
  }
  return nullptr;
}

bool StoreSet::CaughtUp(const std::string& store) const {
  const host::StoreLoop* loop = LoopOf(store);
  return loop != nullptr && loop->CaughtUp(store);
}

bool StoreSet::TracksDelivered(const std::string& store) const {
  const host::StoreLoop* loop = LoopOf(store);
  return loop != nullptr && loop->TracksDelivered(store);
}

}  // namespace varnox::watch
