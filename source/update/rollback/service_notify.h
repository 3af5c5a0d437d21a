// Telling the product's service that a rollback put "VENTRAEX.EXT" back.
#ifndef MIVRA_UPDATE_ROLLBACK_SERVICE_NOTIFY_H_
#define MIVRA_UPDATE_ROLLBACK_SERVICE_NOTIFY_H_

namespace mivra {

inline constexpr char kServiceReadEventName[] = "Global\\ORV_SERVICE_UI_ReadEvent";
inline constexpr char kServiceWriteEventName[] = "Global\\ORV_SERVICE_UI_WriteEvent";

// Through the notification library "ntfhub.dll" when it says it is to be used, else through the
// two global events of the service: wait until the service signals the write event (no time-out),
// then answer on the read event. Nothing is reported; an absent library or service only means
// that nobody is told.
void NotifyServiceOfRollback();

}  // namespace mivra

#endif  // MIVRA_UPDATE_ROLLBACK_SERVICE_NOTIFY_H_
