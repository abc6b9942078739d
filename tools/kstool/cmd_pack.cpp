// kstool pack: makes a package archive of a directory tree, the way the
// account server hands out the client. Every file becomes one entry with its
// path relative to the directory ('\' between levels) and its content as one
// zlib stream; empty directories are not carried (the format holds files).
// With --sign the archive ends with the signature entry a signed starter
// requires (package/package_signature.h).
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "command.h"
#include "package/package_description.h"
#include "package/package_signature.h"
#include "package/package_writer.h"
#include "package_signing.h"
#include "platform.h"
#include "support_files.h"

namespace {

class FileReader : public package::ByteSource {
 public:
  explicit FileReader(FILE* file) : file_(file) {}
  size_t Read(void* buffer, size_t size) override { return fread(buffer, 1, size, file_); }
  bool Skip(uint32_t /*count*/) override { return false; }  // packing reads straight through

 private:
  FILE* file_;
};

// Writes to the archive file and, when the archive is to be signed, keeps
// what it wrote: the bytes the signature covers.
class FileWriter : public package::ByteSink {
 public:
  FileWriter(FILE* file, std::string* copy) : file_(file), copy_(copy), written_(0) {}
  size_t Write(const void* data, size_t size) override {
    size_t stored = fwrite(data, 1, size, file_);
    if (copy_ != nullptr) copy_->append(static_cast<const char*>(data), stored);
    written_ += stored;
    return stored;
  }
  long long Written() const { return written_; }

 private:
  FILE* file_;
  std::string* copy_;
  long long written_;
};

struct PackOptions {
  bool sign = false;
  bool no_attributes = false;
  std::string certificate;
  std::string key;
  bool describe = false;  // a description option was given
  package::PackageDescription description;
  std::vector<std::string> paths;
};

// The description options: each takes a value but --rollback.
bool ParseDescriptionOption(const std::vector<std::string>& args, size_t& i, PackOptions& options,
                            std::string& error) {
  package::PackageDescription& d = options.description;
  struct Valued {
    const char* name;
    std::string* value;
  } const valued[] = {{"--client", &d.client},
                      {"--version", &d.version},
                      {"--not-before", &d.not_before},
                      {"--not-after", &d.not_after}};
  for (const Valued& option : valued) {
    if (args[i] != option.name) continue;
    if (i + 1 == args.size()) {
      error = std::string("pack ") + option.name + " needs a value (see 'kstool pack --help')";
      return true;
    }
    *option.value = args[++i];
    options.describe = true;
    return true;
  }
  if (args[i] != "--rollback") return false;
  d.rollback_allowed = true;
  options.describe = true;
  return true;
}

bool ParseOptions(const std::vector<std::string>& args, PackOptions& options, std::string& error) {
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--sign") {
      if (args.size() - i < 3) {
        error = "pack --sign needs <cert.pem> <key.pem> (see 'kstool pack --help')";
        return false;
      }
      options.sign = true;
      options.certificate = args[++i];
      options.key = args[++i];
    } else if (args[i] == "--noattr") {
      options.no_attributes = true;
    } else if (ParseDescriptionOption(args, i, options, error)) {
      if (!error.empty()) return false;
    } else if (args[i].size() > 1 && args[i][0] == '-') {
      error = "pack has no option '" + args[i] + "' (see 'kstool pack --help')";
      return false;
    } else {
      options.paths.push_back(args[i]);
    }
  }
  if (options.no_attributes && !options.sign) {
    error = "pack --noattr goes with --sign (see 'kstool pack --help')";
    return false;
  }
  if (options.describe) {
    // Read back as a starter reads it: what pack writes, a starter takes.
    std::string text = package::DescriptionText(options.description);
    if (options.description.client.empty() || options.description.version.empty()) {
      error = "pack: a description needs --client and --version (see 'kstool pack --help')";
      return false;
    }
    package::PackageDescription read;
    if (!package::ReadPackageDescription(text, read, error)) {
      error = "pack: the description would not read: " + error;
      return false;
    }
  }
  if (options.paths.size() != 2) {
    error = "pack needs <directory> <archive> (see 'kstool pack --help')";
    return false;
  }
  return true;
}

int RunPack(const std::vector<std::string>& args) {
  PackOptions options;
  std::string error;
  if (!ParseOptions(args, options, error)) return kstool::Fail("%s", error.c_str());
  if (options.sign && kstool::PackageSigningUnavailable() != nullptr)
    return kstool::Fail("pack --sign: %s", kstool::PackageSigningUnavailable());
  std::string root = kstool::FullPath(options.paths[0]);
  std::string archive_path = kstool::FullPath(options.paths[1]);
  if (!kstool::IsDirectory(root)) return kstool::Fail("'%s' is not a directory", options.paths[0].c_str());

  std::vector<std::string> files;
  if (!kstool::ListFiles(root, files, error)) return kstool::Fail("%s", error.c_str());
  // Byte order of the UTF-8 names: the same archive from the same tree on
  // every system; a description written by hand comes first, as it must.
  std::sort(files.begin(), files.end(), [](const std::string& a, const std::string& b) {
    bool a_first = package::IsDescriptionEntryName(a.c_str()), b_first = package::IsDescriptionEntryName(b.c_str());
    return a_first != b_first ? a_first : a < b;
  });
  bool described = options.describe;
  if (!files.empty() && package::IsDescriptionEntryName(files[0].c_str())) {
    if (options.describe)
      return kstool::Fail("cannot pack '%s': the description is written from the options", files[0].c_str());
    std::string text;
    if (!kstool::ReadInput(kstool::FileBelow(root, files[0]), text, error)) return kstool::Fail("%s", error.c_str());
    package::PackageDescription read;
    if (!package::ReadPackageDescription(text, read, error))
      return kstool::Fail("cannot pack '%s': a starter would not read it: %s", files[0].c_str(), error.c_str());
    described = true;
  }
  // A signed starter refuses a package that does not say what it is.
  if (options.sign && !described)
    return kstool::Fail("pack --sign needs --client and --version, or a %s in '%s' (see 'kstool pack --help')",
                        package::kDescriptionEntryName, options.paths[0].c_str());

  kstool::OutputFile archive(archive_path);
  if (!archive.Open(error)) return kstool::Fail("cannot create '%s'", options.paths[1].c_str());
  std::string signed_bytes;
  FileWriter sink(archive.get(), options.sign ? &signed_bytes : nullptr);
  int packed = 0;
  if (options.describe) {
    std::string body;
    std::string text = package::DescriptionText(options.description);
    if (!package::CompressBody(text.data(), text.size(), &body) ||
        !package::WriteEntry(sink, package::kDescriptionEntryName, body))
      return kstool::Fail("cannot write '%s'", options.paths[1].c_str());
  }
  for (const std::string& name : files) {
    std::string full = kstool::FileBelow(root, name);
    if (kstool::SameFile(full, archive_path)) continue;  // never the archive itself
    // A signed starter takes an entry of that name only as the package's last.
    if (package::IsSignatureEntryName(name.c_str()))
      return kstool::Fail("cannot pack '%s': the name is kept for the package signature", name.c_str());
    kstool::UniqueFile input(kstool::OpenFile(full, "rb"));
    if (!input) return kstool::Fail("cannot read '%s'", name.c_str());
    FileReader source(input.get());
    std::string body;
    if (!package::DeflateBody(source, &body) || ferror(input.get()))
      return kstool::Fail("cannot compress '%s' (read error or 2 GiB and more compressed)", name.c_str());
    if (!package::WriteEntry(sink, name, body))
      return kstool::Fail("cannot store '%s' (name refused by the format, or write error)", name.c_str());
    ++packed;
  }
  std::string signer;
  const size_t signed_size = signed_bytes.size();
  if (options.sign) {
    std::string der;
    std::string body;
    if (!kstool::SignPackageBytes(options.certificate, options.key, options.no_attributes, signed_bytes, der, signer,
                                  error))
      return kstool::Fail("%s", error.c_str());
    if (!package::CompressBody(der.data(), der.size(), &body) ||
        !package::WriteEntry(sink, package::kSignatureEntryName, body))
      return kstool::Fail("cannot write '%s'", options.paths[1].c_str());
  }
  if (!archive.Commit(error)) return kstool::Fail("cannot write '%s'", options.paths[1].c_str());
  printf("packed %d files into %s (%lld bytes)\n", packed, archive_path.c_str(), sink.Written());
  if (options.sign)
    printf("signed %lld bytes %s signed attributes, signer %s\n", static_cast<long long>(signed_size),
           options.no_attributes ? "without" : "with", signer.c_str());
  return 0;
}

}  // namespace

KSTOOL_COMMAND("pack",
               "pack [--sign <cert.pem> <key.pem> [--noattr]] [--client <name> --version <version>\n"
               "       [--not-before <time>] [--not-after <time>] [--rollback]] <directory> <archive>",
               "Makes a client package archive of every file below <directory>: names relative to it\n"
               "with '\\' between levels, contents deflated with zlib. Empty directories are not kept;\n"
               "a file named KSPackage.sig, the signature's name, is refused.\n"
               "\n"
               "  --sign <cert.pem> <key.pem>  end the archive with the entry \"KSPackage.sig\": a\n"
               "                 detached CMS signature (SHA-256) of every byte before it by that\n"
               "                 certificate and (RSA) key. A signed starter unpacks only packages\n"
               "                 signed with the certificate that signed the starter, and only with\n"
               "                 a description. Native kstool only (OpenSSL).\n"
               "  --noattr       sign without signed attributes (as openssl cms -noattr).\n"
               "  --client <name> --version <version>  begin the archive with the description\n"
               "                 \"KSPackage.txt\": the client and version a starter must be asking for\n"
               "                 (a version is numbers joined by dots, with an optional -label).\n"
               "                 Without these, a KSPackage.txt in <directory> is packed first.\n"
               "  --not-before <time>, --not-after <time>  the span a starter takes it in (UTC,\n"
               "                 YYYY-MM-DD for a whole day or YYYY-MM-DDTHH:MM:SSZ).\n"
               "  --rollback     it may replace a newer installed client.",
               RunPack);
