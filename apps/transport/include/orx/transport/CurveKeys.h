#pragma once

// ZeroMQ CURVE keys of frild and its hosts, kept in files as one line of Z85 text (40
// characters): NAME.key holds the public key, NAME.key_secret the secret key (mode 0600), from
// which the public key is derived again. Every failure raises std::runtime_error whose text
// names the file and what is wrong with it.

#include <map>
#include <string>

namespace orx::transport {

struct CurveKeyPair {
    std::string publicKey;  // Z85
    std::string secretKey;  // Z85
    bool Empty() const { return publicKey.empty(); }
};

// Raises unless this libzmq can do CURVE; `who` begins the text ("frild --curve-secret").
void RequireCurve(const std::string& who);

// A fresh key pair.
CurveKeyPair NewCurveKeyPair();

// The key a file holds: one line of Z85 text, surrounding white space ignored.
std::string ReadPublicKeyFile(const std::string& path);
// The secret key of a file and the public key that goes with it.
CurveKeyPair ReadSecretKeyFile(const std::string& path);

// Writes a new pair as DIR/NAME.key and DIR/NAME.key_secret (mode 0600), creating DIR when
// missing; refuses when either file exists. Returns the pair written.
CurveKeyPair WriteKeyPair(const std::string& dir, const std::string& name);

// The public keys of the DIR/*.key files, each with the file it came from; raises when the
// directory cannot be read, holds no key or holds a bad one.
std::map<std::string, std::string> ReadAllowedKeys(const std::string& dir);

}  // namespace orx::transport
