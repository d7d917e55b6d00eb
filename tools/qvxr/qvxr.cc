// qvxr: packs, lists, prints and unpacks the suite's resource archives.
//
//   qvxr create [--exclude PATH]... [--add ARCHIVE_PATH=FILE]... ARCHIVE DIR
//   qvxr list [-l] ARCHIVE
//   qvxr cat ARCHIVE PATH
//   qvxr extract ARCHIVE DIR
//
// Errors go to standard error as "qvxr: <message>" with exit status 1.
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "base/archive/archive.h"
#include "base/archive/archive_writer.h"
#include "base/logging.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kUsage =
    "Usage:\n"
    "  qvxr create [--exclude PATH]... [--add ARCHIVE_PATH=FILE]... ARCHIVE DIR\n"
    "      Packs the folder DIR into the archive file ARCHIVE. Folders and files are stored in\n"
    "      byte-wise name order, so the same folder always gives the same bytes. Names longer\n"
    "      than 59 bytes, symbolic links that lead outside DIR, and files that cannot be read\n"
    "      are refused. The archive is written to a temporary file first and then renamed, so\n"
    "      a failed run leaves no half-written archive.\n"
    "      --exclude PATH   leaves out the file or folder PATH (relative to DIR)\n"
    "      --add P=FILE     also stores the file FILE under the archive path P\n"
    "  qvxr list [-l] ARCHIVE\n"
    "      Prints the path of every file, one per line, in archive order; -l adds the size in\n"
    "      bytes before each path.\n"
    "  qvxr cat ARCHIVE PATH\n"
    "      Writes the bytes of the file PATH in the archive to standard output.\n"
    "  qvxr extract ARCHIVE DIR\n"
    "      Recreates the archive's folders and files under DIR (created when missing). Names\n"
    "      that would lead outside DIR are refused.\n"
    "  qvxr --help\n"
    "      Shows this text.\n";

// A failure the user can act on; main prints it and exits with status 1.
struct Failure : std::runtime_error {
  using std::runtime_error::runtime_error;
};

std::string read_whole_file(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream bytes;
  if (in) bytes << in.rdbuf();
  // An empty file gives no characters to copy, which sets failbit on the output; only a failed
  // open or a read error counts.
  if (!in.is_open() || in.bad()) {
    throw Failure(fmt::format("{}: cannot read the file", file.string()));
  }
  return std::move(bytes).str();
}

// Packs the folder `root` into `writer`.
class FolderPacker {
 public:
  FolderPacker(base::ArchiveWriter& writer, const fs::path& root,
               const std::vector<std::string>& excluded)
      : writer_(writer), root_(root), excluded_(excluded.begin(), excluded.end()) {
    std::error_code error;
    if (!fs::is_directory(root, error))
      throw Failure(fmt::format("{}: not a folder", root.string()));
    canonical_root_ = fs::canonical(root);
  }

  void pack() {
    active_.insert(canonical_root_);
    pack_folder(root_, "");
  }

 private:
  bool is_excluded(const std::string& relative) const {
    for (const std::string& ex : excluded_) {
      if (relative == ex || relative.rfind(ex + "/", 0) == 0) return true;
    }
    return false;
  }

  bool inside_root(const fs::path& target) const {
    const fs::path relative = target.lexically_relative(canonical_root_);
    return !relative.empty() && *relative.begin() != "..";
  }

  void pack_folder(const fs::path& folder, const std::string& relative_folder) {
    std::error_code error;
    std::vector<fs::path> children;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
      children.push_back(it->path());
    }
    if (error) throw Failure(fmt::format("{}: cannot read the folder", folder.string()));
    if (!relative_folder.empty()) writer_.add_directory(relative_folder);
    for (const fs::path& child : children) {
      const std::string name = child.filename().string();
      const std::string relative = relative_folder.empty() ? name : relative_folder + "/" + name;
      if (is_excluded(relative)) continue;
      if (name.size() > base::kMaxNameLength) {
        throw Failure(fmt::format("{}: the name is longer than {} bytes", child.string(),
                                  base::kMaxNameLength));
      }
      fs::path target = child;
      const fs::file_status link = fs::symlink_status(child, error);
      if (!error && fs::is_symlink(link)) {
        target = fs::weakly_canonical(child, error);
        if (error || !fs::exists(target, error)) {
          throw Failure(fmt::format("{}: the symbolic link leads nowhere", child.string()));
        }
        if (!inside_root(target)) {
          throw Failure(fmt::format("{}: the symbolic link leads outside {}", child.string(),
                                    root_.string()));
        }
      }
      const fs::file_status status = fs::status(target, error);
      if (error) throw Failure(fmt::format("{}: cannot read its status", child.string()));
      if (fs::is_directory(status)) {
        const fs::path canonical = fs::canonical(target);
        if (!active_.insert(canonical).second) {
          throw Failure(fmt::format("{}: the symbolic link makes a loop", child.string()));
        }
        pack_folder(target, relative);
        active_.erase(canonical);
      } else if (fs::is_regular_file(status)) {
        writer_.add_file(relative, read_whole_file(target));
      } else {
        throw Failure(fmt::format("{}: not a regular file or folder", child.string()));
      }
    }
  }

  base::ArchiveWriter& writer_;
  fs::path root_;
  fs::path canonical_root_;
  std::set<std::string> excluded_;
  std::set<fs::path> active_;  // folders on the current path, to stop link loops
};

int create(const std::vector<std::string>& args) {
  std::vector<std::string> excluded;
  std::vector<std::pair<std::string, std::string>> added;
  std::vector<std::string> positional;
  for (size_t i = 0; i < args.size(); ++i) {
    if ((args[i] == "--exclude" || args[i] == "--add") && i + 1 == args.size()) {
      throw Failure(fmt::format("{} needs a value", args[i]));
    }
    if (args[i] == "--exclude") {
      std::string path = args[++i];
      while (!path.empty() && path.back() == '/') path.pop_back();
      excluded.push_back(path);
    } else if (args[i] == "--add") {
      const std::string& mapping = args[++i];
      const size_t eq = mapping.find('=');
      if (eq == std::string::npos || eq == 0 || eq + 1 == mapping.size()) {
        throw Failure(fmt::format("--add expects ARCHIVE_PATH=FILE, not \"{}\"", mapping));
      }
      added.emplace_back(mapping.substr(0, eq), mapping.substr(eq + 1));
    } else {
      positional.push_back(args[i]);
    }
  }
  if (positional.size() != 2) throw Failure("create needs ARCHIVE and DIR (see qvxr --help)");
  const fs::path archive = positional[0];
  base::ArchiveWriter writer;
  FolderPacker(writer, positional[1], excluded).pack();
  for (const auto& [path, file] : added) writer.add_file(path, read_whole_file(file));

  // Write beside the destination and rename, so readers never see a half-written archive.
  const fs::path temporary =
      archive.string() + fmt::format(".tmp-{}", static_cast<long>(::getpid()));
  try {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out) throw Failure(fmt::format("{}: cannot create the file", temporary.string()));
    writer.write(out);
    out.close();
    if (!out) throw Failure(fmt::format("{}: cannot write the file", temporary.string()));
    std::error_code error;
    fs::rename(temporary, archive, error);
    if (error) {
      throw Failure(fmt::format("{}: cannot replace it: {}", archive.string(), error.message()));
    }
  } catch (...) {
    std::error_code ignored;
    fs::remove(temporary, ignored);
    throw;
  }
  return 0;
}

std::unique_ptr<base::Archive> open_archive(const std::string& file) {
  auto io = base::StreamArchiveIO::at_path(file);
  if (!io->good()) throw Failure(fmt::format("{}: cannot open the archive", file));
  return std::make_unique<base::Archive>(file, std::move(io));
}

// Copies `file` to `out` in bounded pieces, so any size works.
void copy_file(base::ArchiveFile* file, std::ostream& out) {
  std::vector<char> buffer(1 << 20);
  const uint64_t length = static_cast<uint64_t>(file->length());
  for (uint64_t done = 0; done < length;) {
    const size_t piece = static_cast<size_t>(std::min<uint64_t>(buffer.size(), length - done));
    file->read(buffer.data(), piece, done);
    out.write(buffer.data(), static_cast<std::streamsize>(piece));
    done += piece;
  }
}

int list(const std::vector<std::string>& args) {
  bool sizes = false;
  std::vector<std::string> positional;
  for (const std::string& arg : args) {
    if (arg == "-l") {
      sizes = true;
    } else {
      positional.push_back(arg);
    }
  }
  if (positional.size() != 1) throw Failure("list needs ARCHIVE (see qvxr --help)");
  auto archive = open_archive(positional[0]);
  std::string text;
  archive->walk([&](base::Archive*, base::ArchiveFile* file, base::ArchivePath& path) {
    if (sizes) text += fmt::format("{:>12} ", file->length());
    text += path.str();
    text += '\n';
  });
  std::cout << text << std::flush;
  return 0;
}

int cat(const std::vector<std::string>& args) {
  if (args.size() != 2) throw Failure("cat needs ARCHIVE and PATH (see qvxr --help)");
  auto archive = open_archive(args[0]);
  const base::ArchivePath path = base::ArchivePath::is_absolute(args[1])
                                     ? base::ArchivePath(args[1])
                                     : base::ArchivePath::join("/", args[1]);
  base::ArchiveExtent* entry = archive->lookup(path);
  if (entry == nullptr || !entry->is_file()) {
    throw Failure(fmt::format("{}: no file \"{}\" in the archive", args[0], args[1]));
  }
  copy_file(static_cast<base::ArchiveFile*>(entry), std::cout);
  std::cout.flush();
  if (!std::cout) throw Failure("cannot write to standard output");
  return 0;
}

int extract(const std::vector<std::string>& args) {
  if (args.size() != 2) throw Failure("extract needs ARCHIVE and DIR (see qvxr --help)");
  auto archive = open_archive(args[0]);
  const fs::path root = args[1];
  std::error_code error;
  fs::create_directories(root, error);
  if (error || !fs::is_directory(root)) {
    throw Failure(fmt::format("{}: cannot create the folder", root.string()));
  }
  archive->walk_entries([&](base::ArchiveExtent* entry, const base::ArchivePath& path) {
    // Every component must be a plain name: no empty, ".", ".." or absolute parts, and no
    // existing symbolic link on the way, so nothing lands outside the folder.
    fs::path target = root;
    std::stringstream parts(path.str());
    std::string part;
    size_t count = 0;
    while (std::getline(parts, part, '/')) {
      ++count;
      if (part.empty() || part == "." || part == "..") {
        throw Failure(fmt::format("{}: the archive path \"{}\" would lead outside {}", args[0],
                                  path.str(), root.string()));
      }
      target /= part;
      std::error_code ignored;
      if (fs::is_symlink(fs::symlink_status(target, ignored))) {
        throw Failure(
            fmt::format("{}: refusing to write through the symbolic link", target.string()));
      }
    }
    if (count == 0 || path.str().back() == '/') {
      throw Failure(fmt::format("{}: the archive path \"{}\" would lead outside {}", args[0],
                                path.str(), root.string()));
    }
    if (entry->is_directory()) {
      std::error_code made;
      fs::create_directories(target, made);
      if (made || !fs::is_directory(target)) {
        throw Failure(fmt::format("{}: cannot create the folder", target.string()));
      }
      return;
    }
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    if (!out) throw Failure(fmt::format("{}: cannot create the file", target.string()));
    copy_file(static_cast<base::ArchiveFile*>(entry), out);
    out.close();
    if (!out) throw Failure(fmt::format("{}: cannot write the file", target.string()));
  });
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  // Failures are reported here, once, without the library's log lines.
  base::set_min_severity(base::kLogFatal + 1);
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) {
    std::cerr << "qvxr: no command given\n" << kUsage;
    return 1;
  }
  const std::string command = args[0];
  args.erase(args.begin());
  try {
    if (command == "--help" || command == "-h" || command == "help") {
      std::cout << kUsage;
      return 0;
    }
    if (command == "create") return create(args);
    if (command == "list") return list(args);
    if (command == "cat") return cat(args);
    if (command == "extract") return extract(args);
    std::cerr << "qvxr: unknown command \"" << command << "\"\n" << kUsage;
    return 1;
  } catch (const std::exception& e) {
    std::cerr << "qvxr: " << e.what() << '\n';
    return 1;
  }
}
