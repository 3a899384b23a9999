// Where the launcher stub is when the command line names none. The packages
// put it beside the packing tool (the Windows zip) or in ../share/msistub/
// from the tool's folder (the Debian package: /usr/bin/msistub-pack and
// /usr/share/msistub/msistub.exe), so a vendor who installed or unpacked
// either never has to say where it is.
#pragma once

#include <optional>
#include <string>

// The first of `folder`/msistub.exe and `folder`/../share/msistub/msistub.exe
// that is a regular file, where `folder` holds `executablePath`.
std::optional<std::string> FindStubNear(const std::string& executablePath);

// The stub found near this program. Throws PackError, saying to pass
// --stub, when there is none.
std::string InstalledStubPath();

// The version the launcher in `stubPath` states in its version resource
// (its FileVersion text), or nothing when it cannot be read.
std::optional<std::string> StubVersionText(const std::string& stubPath);
