#pragma once
// The desktop's mail portal (org.freedesktop.portal.Email on the session
// bus): the mail program opens a new message with the subject, the body and
// the attachments, which are passed as open file descriptors.

#include <QString>

#include "mail/MailHandover.h"

namespace lk::gui {

// Blocks until the portal answers (at most `timeoutMs` for its response; a
// portal that took the call but stays silent counts as accepted). Callable
// from any thread. `busAddress` empty: the session bus.
HandoverResult ComposeWithPortal(const MailMessage& message, const QString& busAddress = {},
                                 int timeoutMs = 60000);

// The object path of a portal request made by `uniqueName` with `token`.
QString PortalRequestPath(const QString& uniqueName, const QString& token);

}  // namespace lk::gui
