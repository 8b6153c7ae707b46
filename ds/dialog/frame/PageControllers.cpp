#include "ds/dialog/frame/PageControllers.h"

#include <system_error>

#include "ds/dialog/ModeResolution.h"
#include "ds/dialog/Notifications.h"
#include "ds/dialog/frame/Profiles.h"
#include "ds/dialog/options/Enhancement.h"
#include "platform/imageio/ImageIO.h"
#include "platform/ui/Alert.h"
#include "platform/ui/Controls.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/TableView.h"

namespace ferrolite::dialog {

void DialogPages::notified(std::string_view name, const ui::Notification& notification) {
  // Each observer's work belongs to its page (paper, option, colour drop-out, imprinter,
  // image); the frame's part is the registration and the name check before this.
  // Image page.
  if (name == note::kResolutionInput) {
    image.resolutionInputNotification(notification);
    return;
  }
  // The paper and option pages.
  if (paper.notified(name, notification)) return;
  if (option.notified(name, notification)) return;
  // Imprinter page.
  if (imprinter.notified(name, notification)) return;
  // Colour drop-out page: the preview's colours and the result button.
  if (colorDrop.notified(name, notification)) return;
}

}  // namespace ferrolite::dialog
