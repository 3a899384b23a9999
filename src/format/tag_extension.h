// The certificate extension that carries a tag blob: a container placed in a
// certificate that is added to the Authenticode signature's certificate set,
// so a vendor can sign the stub once and re-pack it without re-signing.
#pragma once

constexpr char kTagExtensionOid[] = "1.2.840.113556.1.8000.2554.2951.50896.53846.17503.37240.13145692.12219546";
