#include <orx/transport/CurveKeys.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <zmq.h>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include <orx/transport/IlEndpoint.h>

namespace orx::transport {

namespace fs = std::filesystem;

namespace {

constexpr std::streamsize kMaxKeyFile = 4096;

std::runtime_error Error(const std::string& path, const std::string& what) {
    return std::runtime_error(path + ": " + what);
}

std::string ReadKeyText(const std::string& path) {
    std::error_code ec;
    if (!fs::exists(path, ec))
        throw Error(path, "no such key file");
    if (fs::is_directory(path, ec))
        throw Error(path, "is a directory, not a key file");
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw Error(path, std::string("cannot read: ") + std::strerror(errno));
    std::string text(kMaxKeyFile + 1, '\0');
    in.read(text.data(), kMaxKeyFile + 1);
    text.resize(static_cast<size_t>(in.gcount()));
    if (text.size() > static_cast<size_t>(kMaxKeyFile))
        throw Error(path, "too long for a key file (one line of 40 Z85 characters)");
    const char* space = " \t\r\n";
    size_t first = text.find_first_not_of(space);
    if (first == std::string::npos)
        throw Error(path, "empty: a key file holds one line of 40 Z85 characters");
    text = text.substr(first, text.find_last_not_of(space) - first + 1);
    std::string why = CheckCurveKey(text);
    if (!why.empty())
        throw Error(path, why);
    return text;
}

void WriteNew(const fs::path& path, const std::string& text, mode_t mode) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0)
        throw Error(path.string(), std::string("cannot create: ") + std::strerror(errno));
    // The umask may only narrow the mode; a secret file must be exactly 0600 whatever it is.
    bool ok = ::fchmod(fd, mode) == 0 &&
              ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    int error = errno;
    ok = ::close(fd) == 0 && ok;
    if (!ok) {
        ::unlink(path.c_str());
        throw Error(path.string(), std::string("cannot write: ") + std::strerror(error));
    }
}

}  // namespace

void RequireCurve(const std::string& who) {
    if (!zmq_has("curve")) {
        throw std::runtime_error(who +
                                 ": this libzmq was built without CURVE security "
                                 "(zmq_has(\"curve\") is false)");
    }
}

CurveKeyPair NewCurveKeyPair() {
    RequireCurve("CURVE key pair");
    char publicKey[41] = {};
    char secretKey[41] = {};
    if (zmq_curve_keypair(publicKey, secretKey) != 0)
        throw std::runtime_error(std::string("cannot make a CURVE key pair: ") +
                                 zmq_strerror(zmq_errno()));
    return {publicKey, secretKey};
}

std::string ReadPublicKeyFile(const std::string& path) {
    return ReadKeyText(path);
}

CurveKeyPair ReadSecretKeyFile(const std::string& path) {
    // A public key file read as a secret one would give a pair that no peer can talk to.
    if (path.size() > 4 && path.compare(path.size() - 4, 4, ".key") == 0 &&
        fs::exists(path + "_secret")) {
        throw Error(path, "is a public key file; its secret key is " + path + "_secret");
    }
    CurveKeyPair pair;
    pair.secretKey = ReadKeyText(path);
    RequireCurve(path);
    char publicKey[41] = {};
    if (zmq_curve_public(publicKey, pair.secretKey.c_str()) != 0)
        throw Error(path, "not a CURVE secret key");
    pair.publicKey = publicKey;
    return pair;
}

CurveKeyPair WriteKeyPair(const std::string& dir, const std::string& name) {
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos)
        throw std::runtime_error("\"" + name + "\" is not a key name (a file name without '/')");
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec)
        throw Error(dir, "cannot create the directory: " + ec.message());
    const fs::path publicPath = fs::path(dir) / (name + ".key");
    const fs::path secretPath = fs::path(dir) / (name + ".key_secret");
    for (const fs::path& p : {publicPath, secretPath}) {
        if (fs::exists(fs::symlink_status(p, ec))) {
            throw Error(p.string(),
                        "exists already; keys are never overwritten (remove both files first, "
                        "or choose another name)");
        }
    }
    CurveKeyPair pair = NewCurveKeyPair();
    WriteNew(secretPath, pair.secretKey + "\n", 0600);
    try {
        WriteNew(publicPath, pair.publicKey + "\n", 0644);
    } catch (...) {
        ::unlink(secretPath.c_str());
        throw;
    }
    return pair;
}

std::map<std::string, std::string> ReadAllowedKeys(const std::string& dir) {
    std::error_code ec;
    if (!fs::is_directory(dir, ec))
        throw Error(dir, "no such directory of client keys");
    std::map<std::string, std::string> keys;
    fs::directory_iterator it(dir, ec);
    if (ec)
        throw Error(dir, "cannot read: " + ec.message());
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        const fs::path& p = it->path();
        if (p.extension() != ".key" || !fs::is_regular_file(p, ec))
            continue;
        keys.emplace(ReadPublicKeyFile(p.string()), p.string());
    }
    if (ec)
        throw Error(dir, "cannot read: " + ec.message());
    if (keys.empty())
        throw Error(dir, "holds no NAME.key file: no host could connect");
    return keys;
}

}  // namespace orx::transport
