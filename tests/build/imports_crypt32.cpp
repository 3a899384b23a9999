// Imports crypt32.dll at load time, as the launcher must not: the image check
// has to reject this program, and a crypt32.dll planted beside it is loaded
// before its first line runs.
#include <windows.h>
#include <wincrypt.h>

int main() { return CertFreeCertificateContext(nullptr) ? 0 : 1; }
