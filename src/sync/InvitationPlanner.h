#pragma once

#include "kit/Invitation.h"

// The planner's side of meeting invitations received by mail: the event
// kept under a UID, an answered invitation stored as an import stores an
// event (its row through AppointmentRows, the event whole in tblSyncKept,
// so its UID and every property go out again on export and sync), and a
// called-off one removed. Each opens its own connection to the database.
namespace InvitationPlanner {
Invitation::Planner planner();
}  // namespace InvitationPlanner
