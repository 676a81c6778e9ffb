#pragma once

// A P-256 key pair made once with the openssl command line, for tests that
// check signatures on every system (signing is offered on Linux only):
//   openssl ecparam -name prime256v1 -genkey -noout -out k.pem
//   openssl pkey -in k.pem -pubout -out pub.pem

namespace support {

inline constexpr const char* kSigningPublicPem =
    "-----BEGIN PUBLIC KEY-----\n"
    "MFkwEwYHKoZIzj0CAQYIKoZIzj0DAQcDQgAEpzUJ3Gh7TwzAkmLwfpKcEiD8SfFR\n"
    "Q35aXKcvWViJM/gn5Xy04HRCdtv10pfq2dfMd4gcjNo4ccjuAmgqkZHjDA==\n"
    "-----END PUBLIC KEY-----\n";
// `openssl pkey -pubin -in pub.pem -outform der | sha256sum`, first 16 digits.
inline constexpr const char* kSigningKeyId = "43e94c726227cfb1";

} // namespace support
