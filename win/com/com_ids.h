// The identifiers of the add-in's COM face: our own three (fixed once,
// shared with resources/VarnoxMail.idl and resources/VarnoxMail.rgs), and
// the host's add-in interface that no header of the toolchain declares. The
// identifiers of Outlook's objects and events are in
// win/outlook/outlook_ids.h.
#ifndef VARNOX_WIN_COM_COM_IDS_H_
#define VARNOX_WIN_COM_COM_IDS_H_

#include <windows.h>

#include <oaidl.h>

namespace varnox::win {

// Ours.
extern const CLSID kClsidVnxAddin;   // VNXAddin, ProgID "VarnoxMail.VNXAddin"
extern const IID kIidVnxAddin;       // IVNXAddin
extern const GUID kLibidVarnoxMail;  // VARNOXMAILLib 1.0
inline constexpr WORD kTypeLibMajor = 1;
inline constexpr WORD kTypeLibMinor = 0;
inline constexpr LCID kTypeLibLocale = 0x409;
// The type library describes this build's own pointer size.
#ifdef _WIN64
inline constexpr SYSKIND kTypeLibSysKind = SYS_WIN64;
#else
inline constexpr SYSKIND kTypeLibSysKind = SYS_WIN32;
#endif

// The host's.
extern const IID kIidIdtExtensibility2;  // _IDTExtensibility2
extern const GUID kLibidAddInDesigner;   // Microsoft Add-In Designer 1.0

// IVNXAddin: a dual interface with no members of its own.
struct IVNXAddin : public IDispatch {};

// ext_ConnectMode and ext_DisconnectMode of _IDTExtensibility2.
enum ExtConnectMode : int {
  kExtCmAfterStartup = 0,
  kExtCmStartup = 1,
  kExtCmExternal = 2,
  kExtCmCommandLine = 3,
};
enum ExtDisconnectMode : int {
  kExtDmHostShutdown = 0,
  kExtDmUserClosed = 1,
};

// _IDTExtensibility2, slot for slot after the seven IDispatch slots
// (dispatch ids 1 to 5 in this order).
struct IDTExtensibility2 : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE OnConnection(IDispatch* application, ExtConnectMode mode,
                                                 IDispatch* add_in_inst, SAFEARRAY** custom) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnDisconnection(ExtDisconnectMode mode, SAFEARRAY** custom) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnAddInsUpdate(SAFEARRAY** custom) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnStartupComplete(SAFEARRAY** custom) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnBeginShutdown(SAFEARRAY** custom) = 0;
};

}  // namespace varnox::win

#endif  // VARNOX_WIN_COM_COM_IDS_H_
