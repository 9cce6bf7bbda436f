// The rows of the fault matrix: what each sets up and what must come out of it.
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "faults/fault_scene.h"

namespace pomu::faults {

enum class Act {
    convert,   // convertFile on the one dropped path
    batch,     // DropBatches with every dropped path
    settings,  // load, save and load again the settings file named first
};

struct Row {
    const char* name = "";
    Act act = Act::convert;
    std::function<void(Scene&)> arrange = {};
    // convert, batch: files converted; settings: 1 when the save must succeed.
    int converted = 0;
    // Status texts in order; settings: the options loaded first, then after the save.
    std::vector<std::string> texts = {};
    // convert, batch: the report line of each dropped path, when the row names them.
    std::vector<std::string> report = {};
    // Names in files/ that must appear or change; every other entry must stay as it was.
    std::vector<std::string> outputs = {};
    // Names in files/ that must leave for the Trash with their bytes.
    std::vector<std::string> trashed = {};
    // Names in files/ the row itself changes while it runs; its own check looks at them.
    std::vector<std::string> touched = {};
    // Another program holds files in the workspace, so it cannot be removed meanwhile.
    bool workspaceStays = false;
    std::function<void(Scene&)> check = {};
    int seconds = 60;  // a row running longer counts as hung
};

inline void PrintTo(const Row& row, std::ostream* out) {
    *out << row.name;
}

// Expected status texts.
inline const std::string kProcessing = "Processing file...";
inline const std::string kExists = "7z Exists!";
#ifdef _WIN32
inline const std::string kBreak = "\r\n";
#else
inline const std::string kBreak = "\n";
#endif

// A small tree most rows pack.
const Files& sampleFiles();
// Copies a fixture made by rar in as files/<name>; false, and the row skipped, without fixtures.
bool rarFixture(Scene& s, const std::string& fixture, const std::string& name);

std::vector<Row> archiveRows();
std::vector<Row> nameRows();
std::vector<Row> environmentRows();
std::vector<Row> batchRows();
std::vector<Row> settingsRows();
std::vector<Row> passwordRows();

}  // namespace pomu::faults
