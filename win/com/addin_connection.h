// The portable add-in (CVNXAddin) behind the COM object, on the Win32
// platform seam and the Outlook adapters.
#ifndef VARNOX_WIN_COM_ADDIN_CONNECTION_H_
#define VARNOX_WIN_COM_ADDIN_CONNECTION_H_

#include <memory>

#include "win/com/com_addin.h"

namespace varnox::win {

// For ComAddin::SetConnectionFactory: a CVNXAddin whose host events arrive
// through `addin`'s sinks.
std::unique_ptr<AddinConnection> MakePortableAddin(ComAddin& addin);

}  // namespace varnox::win

#endif  // VARNOX_WIN_COM_ADDIN_CONNECTION_H_
