#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "download/IDownloadCallback.h"
#include "update/DeltaChoice.h"
#include "update/ManifestEntry.h"

// One out-of-date file of a check: the manifest's entry and where its update lives on the way
// from the server to its place.
struct PlannedFile {
    ManifestEntry entry;
    std::wstring base;     // the target's base folder (TargetPlace), ends with "\"
    std::wstring target;   // the installed file, inside its base folder
    std::wstring part;     // the downloaded package (the run's parts folder)
    std::wstring staged;   // the extracted file that waits for the commit (staged folder)
    bool alreadyStaged = false;  // a verified staged file of this release waits: nothing to fetch
    DownloadComponentInfo request;  // the package's request, resume position included
    // When the installed file is the base of a signed delta: request fetches the delta (into
    // DeltaPlan::DeltaPart), and packageRequest is the package's, fetched when the delta fails.
    std::optional<DeltaOffer> delta;
    DownloadComponentInfo packageRequest;

    // The package as the user knows it: the target followed by ".zip".
    std::wstring ShownPackage() const { return target + L".zip"; }
};

// What a check found to do, in manifest order. Made once by the check, then only read.
struct UpdatePlan {
    std::vector<PlannedFile> files;
    // The signed release the files belong to; none when updates are unsigned.
    std::optional<uint64_t> releaseSerial;

    bool Empty() const { return files.empty(); }
    // The requests of the packages that must be fetched, in manifest order, and for each the
    // position of its file in files.
    DownloadList Requests() const {
        DownloadList requests;
        for (const PlannedFile& file : files)
            if (!file.alreadyStaged) requests.push_back(file.request);
        return requests;
    }
    std::vector<size_t> RequestFiles() const {
        std::vector<size_t> positions;
        for (size_t i = 0; i < files.size(); ++i)
            if (!files[i].alreadyStaged) positions.push_back(i);
        return positions;
    }
};
