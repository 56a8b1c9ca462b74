#pragma once

// The File menu's imports and exports of contacts (vCard) and appointments
// (iCalendar): each asks for a file, does the work and tells the result in
// one message.
namespace FileExchange {
void importContacts();
void exportContacts();
void importAppointments();
void exportAppointments();
}  // namespace FileExchange
