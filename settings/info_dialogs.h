// The information dialogs: the Mail Headers viewer and About (its texts,
// and the pages Help and Support open, are in product_info.h). Neither
// changes anything.
#ifndef VARNOX_SETTINGS_INFO_DIALOGS_H_
#define VARNOX_SETTINGS_INFO_DIALOGS_H_

#include <string>
#include <string_view>

#include "platform/dialog.h"
#include "settings/product_info.h"

namespace varnox {

// Shows one message's transport headers, read-only, as stored (lines end in
// CR LF). An empty text is shown as an empty box: the dialog opens anyway.
class MailHeaderDialog final : public DialogController {
 public:
  static constexpr int kIdHeaderText = 1017;

  explicit MailHeaderDialog(std::string headers) : headers_(std::move(headers)) {}

  int TemplateId() const override { return dialog_id::kMailHeaders; }
  void OnInitDialog(DialogView& view) override;
  // Close (and Enter, Esc, the close box) end the dialog.
  void OnCommand(DialogView& view, int control_id, ControlEvent event) override;

 private:
  std::string headers_;
};

// The product's name and version. The template draws the same texts; the
// controller also sets them by id so that a view without the template (the
// console) shows them too.
class AboutDialog final : public DialogController {
 public:
  static constexpr int kIdTitle = 1001;
  static constexpr int kIdNotice = 1002;
  static constexpr std::string_view kTitle = kProductTitle;
  static constexpr std::string_view kNotice = kAboutNotice;

  int TemplateId() const override { return dialog_id::kAbout; }
  void OnInitDialog(DialogView& view) override;
  void OnCommand(DialogView& view, int control_id, ControlEvent event) override;
};

}  // namespace varnox

#endif  // VARNOX_SETTINGS_INFO_DIALOGS_H_
