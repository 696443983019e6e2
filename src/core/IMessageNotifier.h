#pragma once

struct TMessageItem;

// Receives every new user message (the notification list implements it). Called without the
// message list's lock held, with a copy of the stored item; the `Link` it sets is taken over.
class IMessageNotifier {
 public:
  virtual ~IMessageNotifier() = default;
  // Returns true when a popup was shown at once.
  virtual bool NotifyMessage(TMessageItem& aMsg) = 0;
};
