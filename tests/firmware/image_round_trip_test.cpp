#include <gtest/gtest.h>

#include "firmware/image_source.h"
#include "firmware/srecord_merge.h"
#include "image/image_builder.h"
#include "image/image_reader.h"
#include "random_project.h"
#include "test_dir.h"
#include "test_files.h"

namespace mk {
namespace {

namespace fs = std::filesystem;

// The generator's fixed random start value: every run builds the same projects.
constexpr std::uint32_t kRandomStart = 20240305;
constexpr int kProjects = 300;

std::string srecord_image(const Banks& banks) {
    return "S00600004844521B\r\n" + bank_records(banks.bank(2), 2) +
           bank_records(banks.bank(1), 1) + "S804000000FB\r\n";
}

void expect_same(const ConfigurationImage& got, const ConfigurationImage& want, int project) {
    SCOPED_TRACE("project " + std::to_string(project));
    EXPECT_EQ(got.parameters, want.parameters);
    EXPECT_EQ(got.sdo, want.sdo);
    EXPECT_EQ(got.stored_pdo, want.stored_pdo);
    EXPECT_EQ(got.emcy, want.emcy);
    EXPECT_EQ(got.receive_pdo, want.receive_pdo);
    EXPECT_EQ(got.transmit_pdo, want.transmit_pdo);
}

// Builds random projects and reads each image back: the reader must give the tables and
// parameters the files hold, as the builder's field-value rule converts them.
TEST(ImageRoundTrip, RandomProjectsReadBackToTheirTables) {
    test::ProjectGenerator generator(kRandomStart);
    test::TempDir dir;
    NullSink sink;
    Banks banks;
    int empty_sdo = 0, full_sdo = 0, both_layouts = 0, emcy_mappings = 0, full_transmit = 0;
    for (int i = 0; i < kProjects; ++i) {
        const test::RandomProject project = generator.next();
        for (const auto& entry : fs::directory_iterator(dir.path()))
            fs::remove(entry.path());
        for (const auto& [name, text] : project.files)
            test::write_file(dir.path() / name, text);
        build_image(dir.path(), banks, sink, FixedClock(project.stamp));

        const ConfigurationImage image = read_image(banks.bank(1), banks.bank(2));
        expect_same(image, project.expected, i);
        if (::testing::Test::HasFailure())
            break;

        // Every tenth image also goes through the S-record text of a merged image.
        if (i % 10 == 0) {
            const ImageBanks from_text = banks_from_srecords(srecord_image(banks), "image");
            EXPECT_TRUE(
                std::equal(from_text.bank1.begin(), from_text.bank1.end(), banks.bank(1).begin()));
            EXPECT_TRUE(
                std::equal(from_text.bank2.begin(), from_text.bank2.end(), banks.bank(2).begin()));
        }
        empty_sdo += image.sdo.empty();
        full_sdo += image.sdo.size() > 1400;
        both_layouts += project.pdo_layout;
        for (const EmcyRecord& r : image.emcy)
            emcy_mappings += static_cast<int>(r.mappings.size());
        full_transmit += image.transmit_pdo.size() == 18;
    }
    // The generator reached the corners it is meant to reach.
    EXPECT_GT(empty_sdo, 5);
    EXPECT_GT(full_sdo, 5);
    EXPECT_GT(both_layouts, kProjects / 4);
    EXPECT_LT(both_layouts, 3 * kProjects / 4);
    EXPECT_GT(emcy_mappings, 100);
    EXPECT_GT(full_transmit, 5);
}

} // namespace
} // namespace mk
