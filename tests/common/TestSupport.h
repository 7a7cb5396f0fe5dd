#pragma once
#include <filesystem>
#include <functional>
#include <string>

namespace solvane::test {

// The private folder this test process runs in; SOLVANE_HOME points at it.
const std::filesystem::path& testHome();

// A fresh, empty folder under testHome() for one test.
std::filesystem::path makeTempDir(const std::string& name);

// tests/data of the source tree.
std::filesystem::path dataDir();

// What a hostile test puts at the name of one of the program's own files.
enum class Put { Nothing, File, Folder, LinkToFile, LinkToZero, DanglingLink, Fifo };
const char* describe(Put put);
// Puts `put` at `path` (a file holds "ours\n"); a link to a file leads to `victim`, which is made to
// hold "victim" whatever is put.
void place(Put put, const std::filesystem::path& path, const std::filesystem::path& victim);
// The whole file as bytes ("" when it cannot be read).
std::string contents(const std::filesystem::path& path);
// Runs `work` on a thread of its own; whether it ended within ten seconds (something waiting on a
// FIFO never ends: the thread is left behind, and the caller's test fails).
bool endsSoon(std::function<void()> work);

}  // namespace solvane::test
