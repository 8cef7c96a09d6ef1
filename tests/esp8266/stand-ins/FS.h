// A stand-in for FS.h of the ESP8266 and ESP32 Arduino cores, which every
// server library here includes: it brings the file system's names into the
// global namespace, where a sketch's own File or Dir would collide with them.
#pragma once
#include "Arduino.h"

namespace fs
{
// Complete, as the cores' are: a sketch's own File redefines fs::File.
enum SeekMode { SeekSet = 0, SeekCur = 1, SeekEnd = 2 };
class File
{
};
class Dir
{
};
class FS
{
};
struct FSInfo {
};
class FSConfig
{
};
class SPIFFSConfig
{
};
} // namespace fs

using fs::Dir;
using fs::File;
using fs::FS;
using fs::FSConfig;
using fs::FSInfo;
using fs::SeekCur;
using fs::SeekEnd;
using fs::SeekMode;
using fs::SeekSet;
using fs::SPIFFSConfig;
