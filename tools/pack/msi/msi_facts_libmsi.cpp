// Linux: the database is read with libmsi.
#include <libmsi.h>

#include <memory>
#include <mutex>

#include "files/pack_error.h"
#include "msi/msi_facts.h"

namespace {
struct GObjectDeleter {
    void operator()(void* object) const {
        if (object) g_object_unref(object);
    }
};
template <typename T>
using GObjectPtr = std::unique_ptr<T, GObjectDeleter>;

std::string TakeError(GError* error) {
    std::string text = error && error->message ? error->message : "unknown error";
    if (error) g_error_free(error);
    return text;
}

std::string TakeString(gchar* text) {
    std::string value = text ? text : "";
    g_free(text);
    return value;
}

// Runs a query and hands each fetched record to `row`. A table that the
// database does not have makes the query fail; that counts as no rows.
template <typename RowFunction>
void ForEachRow(LibmsiDatabase* database, const char* sql, RowFunction row) {
    GError* error = nullptr;
    GObjectPtr<LibmsiQuery> query(libmsi_query_new(database, sql, &error));
    if (!query) {
        TakeError(error);
        return;
    }
    if (!libmsi_query_execute(query.get(), nullptr, &error)) {
        TakeError(error);
        return;
    }
    while (GObjectPtr<LibmsiRecord> record{libmsi_query_fetch(query.get(), &error)}) row(record.get());
    if (error) TakeError(error);
    libmsi_query_close(query.get(), nullptr);
}
// libmsi and libgsf report a damaged database as GLib warnings and
// assertion failures on stderr before returning their error; the tool says
// what went wrong in its own one line instead.
void IgnoreLegacyLogMessage(const gchar*, GLogLevelFlags, const gchar*, gpointer) {}
GLogWriterOutput IgnoreStructuredLogMessage(GLogLevelFlags, const GLogField*, gsize, gpointer) {
    return G_LOG_WRITER_HANDLED;
}

void SilenceLibraryLogs() {
    static std::once_flag once;
    std::call_once(once, [] {
        g_log_set_default_handler(IgnoreLegacyLogMessage, nullptr);
        g_log_set_writer_func(IgnoreStructuredLogMessage, nullptr, nullptr);
    });
}
}  // namespace

MsiFacts ReadMsiFacts(const std::string& path) {
    MsiFacts facts;
    GError* error = nullptr;
    SilenceLibraryLogs();
    GObjectPtr<LibmsiDatabase> database(libmsi_database_new(path.c_str(), LIBMSI_DB_FLAGS_READONLY, nullptr, &error));
    if (!database) {
        std::string reason = error ? " (" + TakeError(error) + ")" : "";
        throw PackError(path + " is not a readable installer database" + reason +
                        "; it may be damaged: build or copy it again");
    }

    GObjectPtr<LibmsiSummaryInfo> summary(libmsi_summary_info_new(database.get(), 0, &error));
    if (!summary) throw PackError(path + " has no readable summary information (" + TakeError(error) + ")");
    const gchar* templateText = libmsi_summary_info_get_string(summary.get(), LIBMSI_PROPERTY_TEMPLATE, &error);
    if (error) TakeError(error);
    facts.templateText = templateText ? templateText : "";

    ForEachRow(database.get(), "SELECT `Property`, `Value` FROM `Property`", [&](LibmsiRecord* record) {
        std::string name = TakeString(libmsi_record_get_string(record, 1));
        if (name == "ProductCode") facts.productCode = TakeString(libmsi_record_get_string(record, 2));
        if (name == "ProductName") facts.productName = TakeString(libmsi_record_get_string(record, 2));
        if (name == "ProductVersion") facts.productVersion = TakeString(libmsi_record_get_string(record, 2));
        if (name == "Manufacturer") facts.manufacturer = TakeString(libmsi_record_get_string(record, 2));
    });
    ForEachRow(database.get(), "SELECT `Cabinet` FROM `Media` ORDER BY `DiskId`", [&](LibmsiRecord* record) {
        std::string cabinet = TakeString(libmsi_record_get_string(record, 1));
        if (cabinet.empty()) return;
        (cabinet[0] == '#' ? facts.embeddedCabinets : facts.cabinets).push_back(cabinet);
    });
    return facts;
}
