#pragma once

// File helpers for the tests: stand-in runtime folders and the state of the
// prefix's system directory. All paths are ANSI, all on Wine's real files.
#include <string>

extern const char* const RuntimeNames[5];  // 2003 set first, then 2002

bool WriteFileBytes(const std::string& path, const std::string& bytes);
bool ReadFileBytes(const std::string& path, std::string* bytes);
bool SameBytes(const std::string& path, const std::string& other);  // both readable and equal
bool MakeDir(const std::string& path);
void RemoveTree(const std::string& path);  // files, read-only ones too, and folders
bool Exists(const std::string& path);

std::string SystemDir();
std::string SystemPath(const char* name);
std::string TempPath(const char* name);  // the copy's name in the system directory until it is whole
void ClearTargets();  // removes whatever stands at the five names, and their temporary ones, in the system directory

// Takes the right to write from everyone, or gives back what it took. Wine keeps a
// folder's access list as its Unix permissions, which bind the tests as they bind a user.
bool DenyWrites(const std::string& dir, bool deny);

// A file of the build tree, by its path below the top (Tavorine.exe, standin\MFC71.dll).
std::string BuildFile(const char* name);
// The stand-in DLL built under that library's name, labelled after its last section,
// differing per file and per tag, so a copy or an overwrite shows; with a right checksum.
std::string StandInBytes(const char* name, const char* tag);
std::string WithChecksum(std::string dll);  // the checksum written anew over the whole file
// Writes or reads a 32-bit field of the PE headers, at its offset from the "PE" signature.
void PokePe(std::string* dll, size_t at, unsigned long value);
unsigned long PeekPe(const std::string& dll, size_t at);
bool Holds(const std::string& path, const char* name, const char* tag);  // the file is that stand-in
// A VCRUNTIME folder under dir holding those of the five names that are given.
void PlantSources(const std::string& dir, const char* const* names, int count);
void PlantAllSources(const std::string& dir);
// The same, with the 2003 set padded to about the real libraries' sizes with bytes that do not compress.
void PlantLargeSources(const std::string& dir);

// Arms a fault in every Wine process of the test run until disarmed (tests/fault/fault.c):
// "read NAME N" or "write NAME N" fails reads of, or writes into, files named NAME
// (any case; "*" for every file) once N bytes of the file lie before the position;
// "hold NAME N" stops such a read until that rule is gone.
void ArmFault(const char* rule);
void DisarmFaults();
// What the fault library writes beside the rules: ".held" while it holds a read, ".flushes" its log.
std::string FaultFile(const char* suffix);
int CountFiles(const std::string& dir);

// A fresh, empty folder in the prefix's temporary directory.
std::string FreshDir(const char* label);
