#include "platform/linux/atspi/atspi_batch.h"

#include "platform/linux/atspi/atspi_calls.h"

#include <algorithm>
#include <dbus/dbus.h>
#include <memory>
#include <string_view>

namespace atspi_batch {

namespace {

using atspi_calls::CallError;
using atspi_calls::OwnedText;

constexpr const char* kAccessibleInterface = "org.a11y.atspi.Accessible";
constexpr const char* kComponentInterface = "org.a11y.atspi.Component";
constexpr const char* kPropertiesInterface = "org.freedesktop.DBus.Properties";
constexpr std::string_view kHelpKeys[] = {"help-text", "tooltip"};

struct MessageUnref {
    void operator()(DBusMessage* message) const { dbus_message_unref(message); }
};
using Message = std::unique_ptr<DBusMessage, MessageUnref>;

struct PendingUnref {
    void operator()(DBusPendingCall* pending) const {
        dbus_pending_call_cancel(pending);
        dbus_pending_call_unref(pending);
    }
};
using Pending = std::unique_ptr<DBusPendingCall, PendingUnref>;

std::optional<std::string> ownedText(gchar* raw, const CallError& error) {
    OwnedText owned(raw);
    if (error.failed() || !owned) return std::nullopt;
    return std::string(owned.get());
}

std::string helpOf(GHashTable* attributes) {
    for (std::string_view key : kHelpKeys) {
        const auto* text = static_cast<const gchar*>(g_hash_table_lookup(attributes, key.data()));
        if (text != nullptr && *text != '\0') return text;
    }
    return {};
}

/// The request for `fact` of the object at `path` of `busName`.
Message requestFor(const char* busName, const char* path, Fact fact) {
    const auto call = [&](const char* interface, const char* member) {
        return Message(dbus_message_new_method_call(busName, path, interface, member));
    };
    const auto property = [&](const char* name) {
        Message message = call(kPropertiesInterface, "Get");
        if (message &&
            !dbus_message_append_args(message.get(), DBUS_TYPE_STRING, &kAccessibleInterface,
                                      DBUS_TYPE_STRING, &name, DBUS_TYPE_INVALID))
            message.reset();
        return message;
    };
    switch (fact) {
    case Fact::name:
        return property("Name");
    case Fact::description:
        return property("Description");
    case Fact::identifier:
        return property("AccessibleId");
    case Fact::roleName:
        return call(kAccessibleInterface, "GetLocalizedRoleName");
    case Fact::help:
        return call(kAccessibleInterface, "GetAttributes");
    case Fact::role:
        return call(kAccessibleInterface, "GetRole");
    case Fact::states:
        return call(kAccessibleInterface, "GetState");
    case Fact::childCount:
        return property("ChildCount");
    case Fact::parent:
        return property("Parent");
    case Fact::indexInParent:
        return call(kAccessibleInterface, "GetIndexInParent");
    case Fact::extents: {
        Message message = call(kComponentInterface, "GetExtents");
        const dbus_uint32_t screen = ATSPI_COORD_TYPE_SCREEN;
        if (message &&
            !dbus_message_append_args(message.get(), DBUS_TYPE_UINT32, &screen, DBUS_TYPE_INVALID))
            message.reset();
        return message;
    }
    }
    return nullptr;
}

std::optional<std::string> stringAt(DBusMessageIter* at) {
    if (dbus_message_iter_get_arg_type(at) != DBUS_TYPE_STRING) return std::nullopt;
    const char* value = nullptr;
    dbus_message_iter_get_basic(at, &value);
    return std::string(value != nullptr ? value : "");
}

std::optional<std::int32_t> int32At(DBusMessageIter* at) {
    if (dbus_message_iter_get_arg_type(at) != DBUS_TYPE_INT32) return std::nullopt;
    dbus_int32_t value = 0;
    dbus_message_iter_get_basic(at, &value);
    return value;
}

std::optional<std::uint32_t> uint32At(DBusMessageIter* at) {
    if (dbus_message_iter_get_arg_type(at) != DBUS_TYPE_UINT32) return std::nullopt;
    dbus_uint32_t value = 0;
    dbus_message_iter_get_basic(at, &value);
    return value;
}

Answer objectAnswer(DBusMessageIter* at) {
    if (dbus_message_iter_get_arg_type(at) != DBUS_TYPE_STRUCT) return std::monostate{};
    DBusMessageIter fields;
    dbus_message_iter_recurse(at, &fields);
    if (dbus_message_iter_get_arg_type(&fields) != DBUS_TYPE_STRING) return std::monostate{};
    const char* busName = nullptr;
    dbus_message_iter_get_basic(&fields, &busName);
    if (!dbus_message_iter_next(&fields) ||
        dbus_message_iter_get_arg_type(&fields) != DBUS_TYPE_OBJECT_PATH)
        return std::monostate{};
    const char* path = nullptr;
    dbus_message_iter_get_basic(&fields, &path);
    return ObjectRef{busName != nullptr ? busName : "", path != nullptr ? path : ""};
}

template <typename T> Answer answerFrom(std::optional<T> value) {
    if (!value) return std::monostate{};
    return Answer(std::move(*value));
}

Answer helpAnswer(DBusMessageIter* at) {
    if (dbus_message_iter_get_arg_type(at) != DBUS_TYPE_ARRAY) return std::monostate{};
    DBusMessageIter entries;
    dbus_message_iter_recurse(at, &entries);
    std::optional<std::string> found[std::size(kHelpKeys)];
    for (; dbus_message_iter_get_arg_type(&entries) == DBUS_TYPE_DICT_ENTRY;
         dbus_message_iter_next(&entries)) {
        DBusMessageIter pair;
        dbus_message_iter_recurse(&entries, &pair);
        const std::optional<std::string> key = stringAt(&pair);
        if (!key || !dbus_message_iter_next(&pair)) return std::monostate{};
        for (std::size_t k = 0; k < std::size(kHelpKeys); ++k) {
            if (*key == kHelpKeys[k]) found[k] = stringAt(&pair);
        }
    }
    for (auto& value : found) {
        if (value && !value->empty()) return std::move(*value);
    }
    return std::string();
}

Answer statesAnswer(DBusMessageIter* at) {
    if (dbus_message_iter_get_arg_type(at) != DBUS_TYPE_ARRAY) return std::monostate{};
    DBusMessageIter words;
    dbus_message_iter_recurse(at, &words);
    StateBits bits;
    for (std::size_t k = 0; k < 2; ++k, dbus_message_iter_next(&words)) {
        const std::optional<std::uint32_t> word = uint32At(&words);
        if (!word) return std::monostate{};
        bits.words[k] = *word;
    }
    return bits;
}

Answer extentsAnswer(DBusMessageIter* at) {
    if (dbus_message_iter_get_arg_type(at) != DBUS_TYPE_STRUCT) return std::monostate{};
    DBusMessageIter fields;
    dbus_message_iter_recurse(at, &fields);
    std::int32_t values[4] = {};
    for (std::size_t k = 0; k < 4; ++k, dbus_message_iter_next(&fields)) {
        const std::optional<std::int32_t> value = int32At(&fields);
        if (!value) return std::monostate{};
        values[k] = *value;
    }
    return AtspiRect{values[0], values[1], values[2], values[3]};
}

/// The fact an answer to the request for `fact` carries.
Answer answerOf(DBusMessage* reply, Fact fact) {
    if (dbus_message_get_type(reply) != DBUS_MESSAGE_TYPE_METHOD_RETURN) return std::monostate{};
    DBusMessageIter at;
    if (!dbus_message_iter_init(reply, &at)) return std::monostate{};
    switch (fact) {
    case Fact::roleName:
        return answerFrom(stringAt(&at));
    case Fact::help:
        return helpAnswer(&at);
    case Fact::role: {
        const std::optional<std::uint32_t> role = uint32At(&at);
        if (!role) return std::monostate{};
        return static_cast<AtspiRole>(*role);
    }
    case Fact::states:
        return statesAnswer(&at);
    case Fact::extents:
        return extentsAnswer(&at);
    case Fact::indexInParent:
        return answerFrom(int32At(&at));
    case Fact::name:
    case Fact::description:
    case Fact::identifier:
    case Fact::childCount:
    case Fact::parent:
        break;
    }
    // A property: its value in a variant.
    if (dbus_message_iter_get_arg_type(&at) != DBUS_TYPE_VARIANT) return std::monostate{};
    DBusMessageIter value;
    dbus_message_iter_recurse(&at, &value);
    if (fact == Fact::childCount) return answerFrom(int32At(&value));
    if (fact == Fact::parent) return objectAnswer(&value);
    return answerFrom(stringAt(&value));
}

} // namespace

std::optional<std::string> readText(AtspiAccessible* object, Fact text) {
    CallError error;
    switch (text) {
    case Fact::name:
        return ownedText(atspi_accessible_get_name(object, error.out()), error);
    case Fact::description:
        return ownedText(atspi_accessible_get_description(object, error.out()), error);
    case Fact::identifier:
        return ownedText(atspi_accessible_get_accessible_id(object, error.out()), error);
    case Fact::roleName:
        return ownedText(atspi_accessible_get_localized_role_name(object, error.out()), error);
    case Fact::help: {
        GHashTable* attributes = atspi_accessible_get_attributes(object, error.out());
        if (error.failed() || attributes == nullptr) return std::nullopt;
        std::string help = helpOf(attributes);
        g_hash_table_unref(attributes);
        return help;
    }
    default:
        return std::nullopt;
    }
}

std::vector<Answer> readTogether(std::span<const Request> requests, int timeoutMs) {
    std::vector<Answer> answers(requests.size());
    std::vector<Pending> pending(requests.size());
    std::vector<DBusConnection*> used;
    // Sent on the connection libatspi uses for each object's application (the bus, or one of
    // the application's own), to the same name and path it would use.
    for (std::size_t k = 0; k < requests.size(); ++k) {
        AtspiAccessible* object = requests[k].object;
        const AtspiApplication* application = object != nullptr ? object->parent.app : nullptr;
        if (application == nullptr || application->bus == nullptr ||
            application->bus_name == nullptr || object->parent.path == nullptr)
            continue;
        const Message message =
            requestFor(application->bus_name, object->parent.path, requests[k].fact);
        DBusPendingCall* call = nullptr;
        if (message &&
            dbus_connection_send_with_reply(application->bus, message.get(), &call, timeoutMs) &&
            call != nullptr) {
            pending[k].reset(call);
            if (std::find(used.begin(), used.end(), application->bus) == used.end())
                used.push_back(application->bus);
        }
    }
    // All leave now, before the first answer is awaited.
    for (DBusConnection* connection : used)
        dbus_connection_flush(connection);
    for (std::size_t k = 0; k < requests.size(); ++k) {
        if (!pending[k]) continue;
        dbus_pending_call_block(pending[k].get());
        const Message reply(dbus_pending_call_steal_reply(pending[k].get()));
        if (reply) answers[k] = answerOf(reply.get(), requests[k].fact);
    }
    return answers;
}

} // namespace atspi_batch
