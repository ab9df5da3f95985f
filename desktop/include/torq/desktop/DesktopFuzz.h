// Fuzzing entry points for the desktop files the associations and the "send to" entry read. Each
// writes the bytes into a private scratch home, runs the readers (and the writers that follow
// them) over it, and aborts when one breaks a promise: a description that is not one line of XML
// text, an accepted description that does not come back, another program's default changed, an
// entry left starting a program that is not this one. Used by the libFuzzer target and by a test
// that replays the committed corpus through them in every build.
#pragma once

#include <cstddef>
#include <cstdint>

namespace torq {

// The bytes as the user's and the system's globs2, as a type's XML file, as a package of ours
// and as the description of an Add: List, Registration, Controls, Add and Remove.
void FuzzMimeFiles(const std::uint8_t* data, std::size_t size);
// The bytes as mimeapps.list: an Add and a Remove of an association.
void FuzzMimeAppsList(const std::uint8_t* data, std::size_t size);
// The bytes as an existing "Open with" entry: checking the "send to" box.
void FuzzDesktopEntry(const std::uint8_t* data, std::size_t size);

}  // namespace torq
