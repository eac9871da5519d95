// app/scan/ScanReport.h
#pragma once
#include "registry/OfflineRegistry.h"
#include "scan/ScanEngine.h"
#include <string>
#include <vector>

// The result list as documents: the JSON document of "torvane-scan /json" and the TAB-separated
// text the scan window saves. Both leave out nothing of a row that the list shows.

// The captions of the result list's columns, in their order.
// "Registryschlüssel", "Variable", "Wert", "HKey", "Grund", "Gesucht" (the file or key looked for).
inline constexpr int kResultColumnCount = 6;
extern const wchar_t* const kResultColumns[kResultColumnCount];

// A JSON string literal: quotes, backslashes and every control character escaped.
std::wstring JsonString(const std::wstring& s);
// The scan's result as one JSON document: its rows (each with item, root, key, value_name, data,
// rule, rule_text, looked_for), rating, errors, total, percent and, after a removal, "removal".
// "data" is a text value's data as read, for other types the list's display of the value.
std::wstring ScanJsonDocument(const ScanEngine& engine, const std::vector<ResultRow>& rows,
                              const RemovalResult* removal);
// A header line of the column captions, then one line per row with the five column texts,
// separated by TAB, lines ending in CR LF.
std::wstring ScanTextTable(const std::vector<ResultRow>& rows);
// Writes text as UTF-8 (with a byte-order mark when asked), replacing the file. Raises the
// catalogue error of the failure.
void WriteUtf8File(const std::wstring& path, const std::wstring& text, bool byteOrderMark);

// For rows read from another installation's hive files: a registry file that removes them when it
// is imported on that installation once it runs (each row's key with everything below it, as the
// removal on a running system; keys named as that system names them), and beside it "Rückgängig_" + its name, the
// export of the same keys with everything below them as they are now. Both are UTF-16 registry
// files. Returns the path of the second. Raises the catalogue error when a file cannot be written.
// A key whose export would not read back as it is (a name with a line break, a link) is left out of
// both files; `kept` gets one line per such key, place and reason.
std::wstring WriteOfflineRemoval(const std::vector<ResultRow>& rows, const OfflineRegistry& source,
                                 const std::wstring& path, std::vector<std::wstring>& kept);
