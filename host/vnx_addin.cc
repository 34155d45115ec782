#include "host/vnx_addin.h"

#include "mail/process_new_item.h"

namespace varnox {

void FolderItemsSink::OnItemAdd(std::unique_ptr<host::Item> item) {
  if (addin != nullptr && item != nullptr)
    ProcessNewItem(*addin, *item);
}

CVNXAddin::CVNXAddin(const Platform& platform_services)
    : platform(platform_services),
      settings(platform.registry),
      whiteList(ListKind::White, platform),
      blackList(ListKind::Black, platform),
      filter(platform) {
  blackList.Load();
  whiteList.Load();
}

}  // namespace varnox
