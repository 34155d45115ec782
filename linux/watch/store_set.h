// Several store loops driven as one (host/store_loop.h): the watch service's
// Maildir stores and its IMAP accounts. The add-in is given one application
// whose store roots are every loop's roots, in the order the loops were
// added; a wait covers every loop's descriptor; each call goes to the loop
// that holds the store it names.
//
// The loops are not owned. One thread.
#ifndef VARNOX_LINUX_WATCH_STORE_SET_H_
#define VARNOX_LINUX_WATCH_STORE_SET_H_

#include <memory>
#include <string>
#include <vector>

#include "host/store_loop.h"

namespace varnox::watch {

class StoreSet final : public host::StoreLoop {
 public:
  StoreSet();
  ~StoreSet() override;
  StoreSet(const StoreSet&) = delete;
  StoreSet& operator=(const StoreSet&) = delete;

  // Adds a loop, which outlives the set; its roots follow those of the
  // loops added before.
  void Add(host::StoreLoop& loop);
  // The loop holding `store`; null when none does.
  host::StoreLoop* LoopOf(const std::string& store) const;

  const std::vector<std::string>& stores() const override { return stores_; }
  std::unique_ptr<host::Application> ApplicationRef() override;
  int Poll(int timeout_ms) override;
  int WatchDescriptor() const override;
  int CatchUp() override;
  void SetCatchUpPolicy(host::CatchUpPolicy policy) override;
  const host::MessageIdentity* Delivering() const override;
  bool CaughtUp(const std::string& store) const override;
  bool TracksDelivered(const std::string& store) const override;

 private:
  std::vector<host::StoreLoop*> loops_;
  std::vector<std::string> stores_;
  int epoll_fd_ = -1;
};

}  // namespace varnox::watch

#endif  // VARNOX_LINUX_WATCH_STORE_SET_H_
