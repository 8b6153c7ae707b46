#pragma once
// The dialog's language bundle over the platform's: the data source hands its ".lproj" bundle
// to the dialog through this, and every label is looked up in its default table.
#include "ds/dialog/DataSource.h"
#include "platform/foundation/Localization.h"

namespace ferrolite::dialog {

class FoundationLanguageBundle final : public LanguageBundle {
 public:
  explicit FoundationLanguageBundle(foundation::LanguageBundle bundle)
      : bundle_(std::move(bundle)) {}
  std::string localizedStringForKey(std::string_view key, std::string_view value) const override {
    return bundle_.localizedString(key, value);
  }
  const foundation::LanguageBundle& bundle() const { return bundle_; }

 private:
  foundation::LanguageBundle bundle_;
};

}  // namespace ferrolite::dialog
