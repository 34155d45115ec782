// A message's MAPI side over Extended MAPI: the MAPIOBJECT of a mail item
// asked for IMessage, read and written with HrGetOneProp / HrSetOneProp.
//
// mapi32.dll is loaded on first use and its functions resolved at run time:
// HrGetOneProp and HrSetOneProp by ordinal (135, 136), since their exported
// names differ between systems, MAPIFreeBuffer by name.
#ifndef VARNOX_WIN_OUTLOOK_MAPI_MESSAGE_H_
#define VARNOX_WIN_OUTLOOK_MAPI_MESSAGE_H_

#include <windows.h>

#include <unknwn.h>

#include <memory>

#include "host/message.h"

namespace varnox::win {

// The message behind `mapi_object` (any interface of it), or a failure
// status and null when it is not a MAPI message.
HResult OpenMapiMessage(IUnknown* mapi_object, std::unique_ptr<host::Message>* message);

// True when mapi32.dll and its four functions can be had.
bool MapiAvailable();

}  // namespace varnox::win

#endif  // VARNOX_WIN_OUTLOOK_MAPI_MESSAGE_H_
