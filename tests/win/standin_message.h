// A stand-in MAPI message: 8-bit string properties by tag, the buffer rules
// of MAPI (values handed out in MAPIAllocateBuffer memory), SetProps and
// SaveChanges recorded. Everything else answers MAPI_E_NO_SUPPORT.
#ifndef VARNOX_TESTS_WIN_STANDIN_MESSAGE_H_
#define VARNOX_TESTS_WIN_STANDIN_MESSAGE_H_

#include <windows.h>

#include <mapidefs.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace varnox::win::testing {

#define VARNOX_NOT_SUPPORTED \
  override {                 \
    return E_NOTIMPL;        \
  }

class StandInMessageBase : public IMessage {
 public:
  MAPI_IMAPIPROP_METHODS(VARNOX_NOT_SUPPORTED)
  MAPI_IMESSAGE_METHODS(VARNOX_NOT_SUPPORTED)
};

#undef VARNOX_NOT_SUPPORTED

class StandInMessage final : public StandInMessageBase {
 public:
  static StandInMessage* Create() { return new StandInMessage(); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE GetProps(LPSPropTagArray tags, ULONG flags, ULONG* count,
                                     LPSPropValue* values) override;
  HRESULT STDMETHODCALLTYPE SetProps(ULONG count, LPSPropValue values,
                                     LPSPropProblemArray* problems) override;
  HRESULT STDMETHODCALLTYPE SaveChanges(ULONG flags) override;

  std::map<std::uint32_t, std::string> properties;
  std::vector<ULONG> saves;  // flags of each SaveChanges
  HRESULT save_result = S_OK;
  ULONG references() const { return references_; }

 private:
  StandInMessage() = default;
  ~StandInMessage() = default;
  ULONG references_ = 1;
};

}  // namespace varnox::win::testing

#endif  // VARNOX_TESTS_WIN_STANDIN_MESSAGE_H_
