// The figures of a download phase shown as one transfer, from the packages' own percents.
#include <gtest/gtest.h>

#include <vector>

#include "update/DownloadProgress.h"

namespace {

struct Step {
    enum Kind { Update, Done, Replace } kind;
    size_t index;
    int percent;  // for Update; for Replace, the new body's size
};

struct ProgressCase {
    const char* name;
    std::vector<uint64_t> sizes;
    std::vector<Step> steps;
    uint64_t received;
    int overall;
    int current;
};

TEST(DownloadProgress, FiguresFollowTheFilesSizes) {
    const std::vector<uint64_t> three = {3000, 70000, 500};  // 73,500 bytes
    const ProgressCase cases[] = {
        {"nothing yet", three, {}, 0, 0, 1},
        {"70,000 of 73,500 bytes", three, {{Step::Done, 1, 0}}, 70000, 95, 2},
        {"a package half-way", three, {{Step::Update, 1, 50}}, 35000, 47, 1},
        {"a later report replaces the earlier",
         three,
         {{Step::Update, 1, 80}, {Step::Update, 1, 20}},
         14000,
         19,
         1},
        {"a body longer than announced is not whole", three, {{Step::Update, 0, 140}}, 2970, 4, 1},
        {"a negative percent counts nothing", three, {{Step::Update, 2, -5}}, 0, 0, 1},
        {"whole stays whole",
         three,
         {{Step::Done, 0, 0}, {Step::Update, 0, 10}, {Step::Done, 0, 0}},
         3000,
         4,
         2},
        {"an index past the list changes nothing", three, {{Step::Done, 3, 0}}, 0, 0, 1},
        {"every package whole",
         three,
         {{Step::Done, 0, 0}, {Step::Done, 2, 0}, {Step::Done, 1, 0}},
         73500,
         100,
         3},
        // A delta 10 % in (7,000 of the 70,000 bytes counted) replaced by a 20,000-byte body.
        {"what a replaced body brought stays counted",
         three,
         {{Step::Update, 1, 10}, {Step::Replace, 1, 20000}},
         7000,
         22,
         1},
        {"then its replacement whole: 27,000 of 30,500 bytes",
         three,
         {{Step::Update, 1, 10}, {Step::Replace, 1, 20000}, {Step::Done, 1, 0}},
         27000,
         88,
         2},
        {"a whole package is not replaced",
         three,
         {{Step::Done, 1, 0}, {Step::Replace, 1, 20000}},
         70000,
         95,
         2},
        {"no sizes: counted by number", {0, 0, 0, 0}, {{Step::Done, 2, 0}}, 0, 25, 2},
        {"an empty list is done", {}, {}, 0, 100, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DownloadProgress progress(c.sizes);
        for (const Step& step : c.steps) {
            if (step.kind == Step::Update)
                progress.Update(step.index, step.percent);
            else if (step.kind == Step::Replace)
                progress.Replace(step.index, static_cast<uint64_t>(step.percent));
            else
                progress.Done(step.index);
        }
        EXPECT_EQ(progress.ReceivedBytes(), c.received);
        EXPECT_EQ(progress.OverallPercent(), c.overall);
        EXPECT_EQ(progress.CurrentIndex(), c.current);
        EXPECT_EQ(progress.Count(), static_cast<int>(c.sizes.size()));
    }
}

}  // namespace
