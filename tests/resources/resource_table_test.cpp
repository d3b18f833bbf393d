// The resource table as files see it: names, kept values across a recording
// load, and the unsaved-changes report.
#include <map>
#include <string>

#include <gtest/gtest.h>
#include <wx/fileconf.h>
#include <wx/sstream.h>

#include "resources/resource_table.h"

namespace {

class ResourceTable : public ::testing::Test {
protected:
    // A settings store in memory, so nothing here touches the user's files.
    wxStringInputStream empty_ini{""};
    wxFileConfig store{empty_ini};
    std::unique_ptr<resource_t> table;

    void SetUp() override
    {
        base_res_t::set_settings_store(&store);
        base_res_t::set_loading_file(true);
        table = std::make_unique<resource_t>();
        base_res_t::set_loading_file(false);
        base_res_t::cancel_kept_values();
    }
    void TearDown() override
    {
        table.reset();
        base_res_t::set_settings_store(nullptr);
    }
};

// Shape of the table: every name once, settings only on types with a text form.
TEST_F(ResourceTable, NamesAreUniqueAndSettingsHaveTextForms)
{
    std::map<std::wstring, int> seen;
    int settings = 0;
    for (base_res_t* r = base_res_t::first_resource(); r; r = r->next_resource()) {
        ++seen[r->name()];
        if (r->flags() & RES_FLAG_SETTINGS) {
            ++settings;
            EXPECT_TRUE(r->has_text_form()) << wxString(r->name());
        }
        EXPECT_GE(r->group(), 0);
        EXPECT_LT(r->group(), RESGROUP_COUNT);
        EXPECT_EQ(base_res_t::find_named_resource(wxString(r->name())), r) << wxString(r->name());
    }
    for (const auto& [name, n] : seen)
        EXPECT_EQ(n, 1) << wxString(name);
    EXPECT_EQ(settings, 106);
    EXPECT_EQ(table->size(), seen.size());
    EXPECT_EQ(base_res_t::find_named_resource("#"), table->RES_COMMENT);
    EXPECT_EQ(base_res_t::find_named_resource("RES_SURFACE200"), table->RES_SURFACE[200]);
}

// Loading a recording changes a recording-and-settings value without touching
// the settings file; restoring the kept values brings the user's value back.
TEST_F(ResourceTable, KeptValuesSurviveARecordingLoad)
{
    table->RES_POINTER_XTRANS->write(1.5);  // the user's own calibration
    double stored = 0;
    ASSERT_TRUE(store.Read("RES_POINTER_XTRANS", &stored));
    EXPECT_EQ(stored, 1.5);

    base_res_t::set_postpone_writes(true);
    ASSERT_TRUE(base_res_t::parse_no_changeprocs("RES_POINTER_XTRANS 7.25", RES_MASK_RECORDING));
    ASSERT_TRUE(base_res_t::parse_no_changeprocs("RES_XSCALE 0.02", RES_MASK_RECORDING));
    base_res_t::set_loading_file(true);
    base_res_t::set_postpone_writes(false);
    base_res_t::make_pending_writes_happen();
    base_res_t::set_loading_file(false);

    EXPECT_EQ(table->RES_POINTER_XTRANS->value(), 7.25);
    EXPECT_EQ(table->RES_XSCALE->value(), 0.02);
    ASSERT_TRUE(store.Read("RES_POINTER_XTRANS", &stored));
    EXPECT_EQ(stored, 1.5) << "a loaded value must not reach the settings file";
    wxString unsaved;
    EXPECT_FALSE(base_res_t::file_needs_save(RES_MASK_RECORDING, unsaved)) << unsaved;

    table->RES_BUF_FRAMES->write(12);  // no kept value: left alone by a restore
    base_res_t::restore_kept_values();
    base_res_t::make_pending_writes_happen();
    EXPECT_EQ(table->RES_POINTER_XTRANS->value(), 1.5);
    EXPECT_EQ(table->RES_XSCALE->value(), 0.01);
    EXPECT_EQ(table->RES_BUF_FRAMES->value(), 12);
}

TEST_F(ResourceTable, UnsavedChangesAreListedByGroupInOrder)
{
    wxString text;
    table->RES_VERSION->write("7.00");  // group 12 alone is never unsaved work
    table->RES_PASSWORD->write("new secret");  // settings go to the store at once
    EXPECT_FALSE(base_res_t::file_needs_save(RES_MASK_ALL, text));
    EXPECT_TRUE(text.empty());
    ASSERT_TRUE(store.Read("RES_PASSWORD", &text));
    EXPECT_EQ(text, "new secret");
    text.clear();

    table->RES_XSCALE->write(0.03);
    table->RES_BUF_FRAMES->write(4);
    table->RES_STRAIN_NOISE->write(0.75);
    EXPECT_TRUE(base_res_t::file_needs_save(RES_MASK_RECORDING, text));
    EXPECT_EQ(text, " - Image or position data\n - Calibration parameters\n - Strain related parameters\n");

    base_res_t::clear_needs_save(RES_MASK_RECORDING);
    text.clear();
    EXPECT_FALSE(base_res_t::file_needs_save(RES_MASK_RECORDING, text));
}

TEST_F(ResourceTable, HashSpreadsTheNames)
{
    std::map<unsigned, int> buckets;
    for (base_res_t* r = base_res_t::first_resource(); r; r = r->next_resource())
        ++buckets[base_res_t::hash_bucket(r->name(), std::wcslen(r->name()))];
    int longest = 0;
    for (const auto& [b, n] : buckets) {
        EXPECT_LT(b, 512u);
        longest = std::max(longest, n);
    }
    EXPECT_GT(buckets.size(), 300u);
    EXPECT_LE(longest, 8);
}

}  // namespace
