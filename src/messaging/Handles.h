// Forward declarations shared by the object model's headers.
//
// Every object of the model is a cheap value handle: a shared pointer to the session's
// state plus a row id (and, for collections, a lazily taken snapshot of member ids).
// Handles may be copied freely; copies of one Message share its unsaved changes.
// Nothing here is thread-safe: one session is used by one thread.
#pragma once

#include <memory>

namespace messaging {

namespace detail {
struct SessionState;   // connection, transaction batching, fault switches
struct MessageState;   // one message's loaded and pending properties
struct MessagesState;  // snapshot of a message collection (ids, filter)
using SessionPtr = std::shared_ptr<SessionState>;
} // namespace detail

class Session;
class InfoStores;
class InfoStore;
class Folders;
class Folder;
class Messages;
class MessageFilter;
class Message;
class Fields;
class Field;
class AddressLists;
class AddressList;
class AddressEntries;
class AddressEntry;

} // namespace messaging
