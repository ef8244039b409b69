#pragma once

struct User;
class Event;

// The event-log entry of a technician's login (who and when) or logout (when).
Event* sessionEvent(bool loggedIn, const User& user);
