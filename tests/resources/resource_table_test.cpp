// The resource table as files see it: which resources each kind of file
// holds and in which order, kept values across a recording load, and the
// unsaved-changes report.
#include <map>
#include <string>

#include <gtest/gtest.h>
#include <wx/fileconf.h>
#include <wx/mstream.h>
#include <wx/sstream.h>
#include <wx/txtstrm.h>

#include "file_orders.h"
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

    // First token of every line written with this mask.
    std::vector<std::string> written_names(unsigned long mask)
    {
        // Resources written by procedures of later modules print their name for this test.
        for (base_res_t* r = base_res_t::first_resource(); r; r = r->next_resource())
            if ((r->flags() & 15) && !r->has_text_form()) {
                const wxString name(r->name());
                r->set_write_out_proc([name](wxTextOutputStream& out) {
                    out.WriteString(name + "\n");
                    return true;
                });
            }
        wxMemoryOutputStream out;
        EXPECT_TRUE(base_res_t::write_out_to_file(out, mask));
        std::string bytes(out.GetLength(), '\0');
        out.CopyTo(bytes.data(), bytes.size());
        std::vector<std::string> names;
        for (const wxString& line : wxSplit(wxString::FromUTF8(bytes), '\n'))
            if (!line.empty())
                names.push_back(line.BeforeFirst(' ').ToStdString());
        return names;
    }
};

TEST_F(ResourceTable, RecordingHeaderOrder)
{
    EXPECT_EQ(written_names(RES_FLAG_RECORDING_HEADER), file_orders::recording_header);
}

TEST_F(ResourceTable, RecordingBodyOrder)
{
    EXPECT_EQ(written_names(RES_FLAG_RECORDING_BODY), file_orders::recording_body);
}

TEST_F(ResourceTable, TemplateHeaderOrder)
{
    EXPECT_EQ(written_names(RES_FLAG_TEMPLATE_HEADER), file_orders::template_header);
}

TEST_F(ResourceTable, TemplateBodyOrder)
{
    EXPECT_EQ(written_names(RES_FLAG_TEMPLATE_BODY), file_orders::template_body);
}

// Shape of the table: every name once, settings only on types with a text form.
TEST_F(ResourceTable, NamesAreUniqueAndSettingsHaveTextForms)
{
    std::map<std::wstring, int> seen;
    int settings = 0, named = 0;
    for (base_res_t* r = base_res_t::first_resource(); r; r = r->next_resource()) {
        ++seen[r->name()];
        if (std::wstring(r->name()).rfind(L"RES_", 0) == 0)
            ++named;
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
    EXPECT_EQ(settings, 103);
    EXPECT_EQ(named, 402 + resource_t::surface_slots);
    EXPECT_EQ(table->size(), seen.size());
    EXPECT_EQ(base_res_t::find_named_resource("#"), table->RES_COMMENT);
    EXPECT_EQ(base_res_t::find_named_resource("RES_SURFACE200"), table->RES_SURFACE[200]);
}

// The rows other modules and the file formats rely on.
TEST_F(ResourceTable, KeyDefaultsFlagsAndGroups)
{
    EXPECT_EQ(table->RES_BUF_WIDTH->value(), 768);
    EXPECT_EQ(table->RES_BUF_HEIGHT->value(), 576);
    EXPECT_EQ(table->RES_BUF_WIDTH->flags(), 5u);
    EXPECT_TRUE(table->RES_POS_REC->value());
    EXPECT_EQ(table->RES_RF_SAMPLES->value(), 1000);
    EXPECT_EQ(table->RES_RF_VECTORS->value(), 127);
    EXPECT_EQ(table->RES_RF_VECTORS->group(), RESGROUP_RF);
    EXPECT_EQ(table->RES_VERSION->value(), "6.02");
    EXPECT_EQ(table->RES_VERSION->flags(), 10u);
    EXPECT_EQ(table->RES_XSCALE->value(), 0.01);
    EXPECT_EQ(table->RES_YSCALE->group(), RESGROUP_CALIBRATION);
    EXPECT_EQ(table->RES_FILENAME_STUB->value(), "kestrane_data");
    EXPECT_EQ(table->RES_PASSWORD->value(), "marlwood");
    EXPECT_EQ(table->RES_PASSWORD->flags(), 16u);
    EXPECT_EQ(table->RES_BACKGROUND->value(), "#323232");
    EXPECT_EQ(table->RES_ALERT_STRING->value(), " ");
    EXPECT_EQ(table->RES_END_HEADER->flags(), 5u);
    EXPECT_EQ(table->RES_BIN_IM_FILENAME->flags(), 2u);
    EXPECT_EQ(table->IM->group(), RESGROUP_DATA);
    EXPECT_EQ(table->SWEEPS->group(), RESGROUP_SWEEPS);
    EXPECT_EQ(table->RES_SURFACE[0]->group(), RESGROUP_MISC);
}

// The end-of-header line is the name alone.
TEST_F(ResourceTable, EndOfHeaderIsTheNameAlone)
{
    wxMemoryOutputStream out;
    wxTextOutputStream text(out, wxEOL_UNIX);
    EXPECT_TRUE(table->RES_END_HEADER->write_out_value(text));
    std::string bytes(out.GetLength(), '\0');
    out.CopyTo(bytes.data(), bytes.size());
    EXPECT_EQ(bytes, "RES_END_HEADER\n");
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

    base_res_t::restore_kept_values();
    base_res_t::make_pending_writes_happen();
    EXPECT_EQ(table->RES_POINTER_XTRANS->value(), 1.5);
    EXPECT_EQ(table->RES_XSCALE->value(), 0.01);
}

// Resources with no kept value are left alone by a restore.
TEST_F(ResourceTable, RestoreLeavesRecordingOnlyValues)
{
    table->RES_BUF_FRAMES->write(12);
    base_res_t::restore_kept_values();
    base_res_t::make_pending_writes_happen();
    EXPECT_EQ(table->RES_BUF_FRAMES->value(), 12);
}

TEST_F(ResourceTable, UnsavedChangesAreListedByGroupInOrder)
{
    wxString text;
    table->RES_VERSION->write("7.00");  // group 12 alone is never unsaved work
    EXPECT_FALSE(base_res_t::file_needs_save(RES_MASK_RECORDING, text));
    EXPECT_TRUE(text.empty());

    table->RES_XSCALE->write(0.03);
    table->RES_BUF_FRAMES->write(4);
    table->RES_STRAIN_NOISE->write(0.75);
    EXPECT_TRUE(base_res_t::file_needs_save(RES_MASK_RECORDING, text));
    EXPECT_EQ(text, " - Image or position data\n - Calibration parameters\n - Strain related parameters\n");

    base_res_t::clear_needs_save(RES_MASK_RECORDING);
    text.clear();
    EXPECT_FALSE(base_res_t::file_needs_save(RES_MASK_RECORDING, text));
}

// Settings resources changed by the user go to the settings store, not to "unsaved".
TEST_F(ResourceTable, SettingsChangesAreStoredAtOnce)
{
    table->RES_PASSWORD->write("new secret");
    wxString stored;
    ASSERT_TRUE(store.Read("RES_PASSWORD", &stored));
    EXPECT_EQ(stored, "new secret");
    EXPECT_FALSE(table->RES_PASSWORD->needs_save());
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
