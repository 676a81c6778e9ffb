#pragma once

// collector-fleet image: make a signing key pair, sign an image, verify one.
// Each returns the exit status: 0 done (verify: signed by a trusted key), 1
// verify found it unsigned or refused it, 2 wrong usage or a set-up error.

#include "fleet/session/firmware_image.h"

#include <string>

namespace fleet {

// NAME.pem (the public key, to go into the trusted keys as NAME) and
// NAME.private.pem (mode 0600); neither may exist yet.
int RunImageKeygen(const std::string& name);
// Writes IMAGE.sig, signed with the private key in `keyPath`.
int RunImageSign(const std::string& keyPath, const std::string& imagePath);
// Checks IMAGE.sig against the trusted keys of the site and `options`.
int RunImageVerify(const SignatureOptions& options, const std::string& imagePath);

// "signed by key NAME (ID)" or "unsigned", for a question and a result.
std::string SignatureWords(const image::SignatureCheck& check);

} // namespace fleet
