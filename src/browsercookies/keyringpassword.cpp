#include "browsercookies/keyringpassword.h"

#include <libsecret/secret.h>

#include <condition_variable>
#include <cstdlib>
#include <sys/stat.h>
#include <memory>
#include <mutex>
#include <thread>

namespace quaylet::browsercookies {

namespace {

struct ObjectUnref {
    void operator()(gpointer object) const noexcept { g_object_unref(object); }
};
struct ErrorFree {
    void operator()(GError* error) const noexcept { g_error_free(error); }
};
struct HashTableUnref {
    void operator()(GHashTable* table) const noexcept { g_hash_table_unref(table); }
};
struct ItemListFree {
    void operator()(GList* items) const noexcept { g_list_free_full(items, g_object_unref); }
};
struct ValueUnref {
    void operator()(SecretValue* value) const noexcept { secret_value_unref(value); }
};

// Cancels the calls made with `cancellable` once the bound passes, unless
// the caller finished first (the destructor).
class CancelAfter final {
  public:
    CancelAfter(GCancellable* cancellable, std::chrono::milliseconds bound)
        : m_timer([this, cancellable, bound] {
              std::unique_lock lock(m_mutex);
              if (!m_finished.wait_for(lock, bound, [this] { return m_done; }))
                  g_cancellable_cancel(cancellable);
          })
    {
    }
    ~CancelAfter()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_done = true;
        }
        m_finished.notify_one();
        m_timer.join();
    }
    CancelAfter(const CancelAfter&) = delete;
    CancelAfter& operator=(const CancelAfter&) = delete;

  private:
    std::mutex m_mutex;
    std::condition_variable m_finished;
    bool m_done = false; // guarded by m_mutex
    std::thread m_timer; // last: it uses the fields above
};

// Items of any schema that carry the attribute.
const SecretSchema kApplicationSchema = {
    "org.glimmerly.BrowserSafeStorage",
    SECRET_SCHEMA_DONT_MATCH_NAME,
    {{"application", SECRET_SCHEMA_ATTRIBUTE_STRING}, {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}}};

// A session bus is there to ask: named in the environment or at its usual
// place in the runtime folder. Without one the bus library would start a bus
// of its own for the X display, which nothing should do for cookies.
bool SessionBusKnown()
{
    if (const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS"); address != nullptr && *address != '\0')
        return true;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime == nullptr || *runtime == '\0')
        return false;
    struct stat status {};
    return ::stat((std::string(runtime) + "/bus").c_str(), &status) == 0 && S_ISSOCK(status.st_mode);
}

} // namespace

std::optional<std::string> ReadKeyringPassword(const std::string& application, std::chrono::milliseconds bound)
{
    if (!SessionBusKnown())
        return std::nullopt;
    const std::unique_ptr<GCancellable, ObjectUnref> cancellable(g_cancellable_new());
    const CancelAfter timer(cancellable.get(), bound);
    GError* rawError = nullptr;
    const std::unique_ptr<SecretService, ObjectUnref> service(
        secret_service_get_sync(SECRET_SERVICE_OPEN_SESSION, cancellable.get(), &rawError));
    std::unique_ptr<GError, ErrorFree> error(rawError);
    if (!service)
        return std::nullopt;

    const std::unique_ptr<GHashTable, HashTableUnref> attributes(g_hash_table_new(g_str_hash, g_str_equal));
    g_hash_table_insert(attributes.get(), const_cast<char*>("application"), const_cast<char*>(application.c_str()));
    // Without SECRET_SEARCH_UNLOCK: secrets of locked items are not loaded,
    // and nothing asks the user.
    rawError = nullptr;
    const std::unique_ptr<GList, ItemListFree> items(
        secret_service_search_sync(service.get(), &kApplicationSchema, attributes.get(),
                                   static_cast<SecretSearchFlags>(SECRET_SEARCH_ALL | SECRET_SEARCH_LOAD_SECRETS),
                                   cancellable.get(), &rawError));
    error.reset(rawError);
    for (GList* it = items.get(); it != nullptr; it = it->next) {
        auto* item = static_cast<SecretItem*>(it->data);
        if (secret_item_get_locked(item))
            continue;
        const std::unique_ptr<SecretValue, ValueUnref> value(secret_item_get_secret(item));
        if (!value)
            continue;
        gsize size = 0;
        const gchar* bytes = secret_value_get(value.get(), &size);
        if (bytes != nullptr && size > 0)
            return std::string(bytes, size);
    }
    return std::nullopt;
}

} // namespace quaylet::browsercookies
