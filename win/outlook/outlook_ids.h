// The identifiers of Outlook's, Office's and MAPI's interfaces and events
// that the host adapters use and no header of the toolchain declares.
#ifndef VARNOX_WIN_OUTLOOK_OUTLOOK_IDS_H_
#define VARNOX_WIN_OUTLOOK_OUTLOOK_IDS_H_

#include <windows.h>

#include <oaidl.h>

namespace varnox::win {

extern const IID kDiidItemsEvents;             // ItemsEvents
extern const IID kDiidFoldersEvents;           // FoldersEvents
extern const IID kDiidCommandBarButtonEvents;  // _CommandBarButtonEvents
extern const IID kIidMailItem;                 // _MailItem
extern const IID kIidMapiMessage;              // IMessage
extern const IID kIidMapiProp;                 // IMAPIProp
extern const IID kIidCommandBarButton;         // _CommandBarButton
extern const IID kIidCommandBarPopup;          // CommandBarPopup

// Dispatch ids of the events the add-in handles.
inline constexpr DISPID kDispidItemAdd = 0xF001;
inline constexpr DISPID kDispidFolderAdd = 0xF001;
inline constexpr DISPID kDispidClick = 1;

}  // namespace varnox::win

#endif  // VARNOX_WIN_OUTLOOK_OUTLOOK_IDS_H_
