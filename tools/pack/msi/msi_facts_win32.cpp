// Windows: the database is read with the Windows Installer's own msi.dll.
#include <windows.h>
// msi.h needs the types of windows.h.
#include <msi.h>
#include <msiquery.h>

#include <string>

#include "files/pack_error.h"
#include "msi/msi_facts.h"

namespace {
// Closes an MSIHANDLE when it leaves scope.
class MsiHandleOwner {
public:
    MsiHandleOwner() = default;
    MsiHandleOwner(const MsiHandleOwner&) = delete;
    MsiHandleOwner& operator=(const MsiHandleOwner&) = delete;
    ~MsiHandleOwner() {
        if (handle_) MsiCloseHandle(handle_);
    }
    MSIHANDLE* Out() { return &handle_; }
    MSIHANDLE Get() const { return handle_; }

private:
    MSIHANDLE handle_ = 0;
};

// Paths arrive in the ANSI code page, as the C++ library on Windows reads them.
std::wstring WideFromAnsi(const std::string& text) {
    int units = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    std::wstring wide(units > 0 ? units : 1, L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &wide[0], units);
    wide.resize(wide.size() - 1);
    return wide;
}

std::string Utf8FromWide(const std::wstring& text) {
    int bytes =
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(bytes, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &utf8[0], bytes, nullptr, nullptr);
    return utf8;
}

std::string RecordString(MSIHANDLE record, UINT field) {
    DWORD length = 0;
    wchar_t none[1] = {L'\0'};
    if (MsiRecordGetStringW(record, field, none, &length) != ERROR_MORE_DATA) return "";
    std::wstring value(length + 1, L'\0');
    ++length;
    if (MsiRecordGetStringW(record, field, &value[0], &length) != ERROR_SUCCESS) return "";
    value.resize(length);
    return Utf8FromWide(value);
}

// A table that the database does not have makes the view fail; that counts
// as no rows.
template <typename RowFunction>
void ForEachRow(MSIHANDLE database, const wchar_t* sql, RowFunction row) {
    MsiHandleOwner view;
    if (MsiDatabaseOpenViewW(database, sql, view.Out()) != ERROR_SUCCESS) return;
    if (MsiViewExecute(view.Get(), 0) != ERROR_SUCCESS) return;
    for (;;) {
        MsiHandleOwner record;
        if (MsiViewFetch(view.Get(), record.Out()) != ERROR_SUCCESS) break;
        row(record.Get());
    }
    MsiViewClose(view.Get());
}

std::string TemplateOf(MSIHANDLE database, const std::string& path) {
    MsiHandleOwner summary;
    if (MsiGetSummaryInformationW(database, nullptr, 0, summary.Out()) != ERROR_SUCCESS)
        throw PackError(path + " has no readable summary information");
    UINT type = 0;
    INT number = 0;
    FILETIME time{};
    DWORD length = 0;
    wchar_t none[1] = {L'\0'};
    UINT result = MsiSummaryInfoGetPropertyW(summary.Get(), PIDSI_TEMPLATE, &type, &number, &time, none, &length);
    if (result != ERROR_MORE_DATA) return "";
    std::wstring value(length + 1, L'\0');
    ++length;
    if (MsiSummaryInfoGetPropertyW(summary.Get(), PIDSI_TEMPLATE, &type, &number, &time, &value[0], &length) !=
        ERROR_SUCCESS)
        return "";
    value.resize(length);
    return Utf8FromWide(value);
}
}  // namespace

MsiFacts ReadMsiFacts(const std::string& path) {
    MsiFacts facts;
    MsiHandleOwner database;
    UINT result =
        MsiOpenDatabaseW(WideFromAnsi(path).c_str(), reinterpret_cast<LPCWSTR>(MSIDBOPEN_READONLY), database.Out());
    if (result != ERROR_SUCCESS)
        throw PackError(path + " is not an installer database (error " + std::to_string(result) + ")");
    facts.templateText = TemplateOf(database.Get(), path);
    ForEachRow(database.Get(), L"SELECT `Property`, `Value` FROM `Property`", [&](MSIHANDLE record) {
        std::string name = RecordString(record, 1);
        if (name == "ProductCode") facts.productCode = RecordString(record, 2);
        if (name == "ProductName") facts.productName = RecordString(record, 2);
        if (name == "ProductVersion") facts.productVersion = RecordString(record, 2);
        if (name == "Manufacturer") facts.manufacturer = RecordString(record, 2);
    });
    ForEachRow(database.Get(), L"SELECT `Cabinet` FROM `Media` ORDER BY `DiskId`", [&](MSIHANDLE record) {
        std::string cabinet = RecordString(record, 1);
        if (cabinet.empty()) return;
        (cabinet[0] == '#' ? facts.embeddedCabinets : facts.cabinets).push_back(cabinet);
    });
    return facts;
}
