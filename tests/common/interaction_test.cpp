// Headless runs must never block on a question: they answer with the default
// the caller gave and leave a trace in the log.
#include <gtest/gtest.h>

#include "common/interaction.h"
#include "support/log_capture.h"

namespace {

class scripted_interaction_t : public headless_interaction_t {
public:
    int questions = 0;
    answer_t ask(const wxString&, const wxString&, question_t, answer_t) override
    {
        ++questions;
        return answer_t::cancel;
    }
};

TEST(Interaction, HeadlessAnswersWithTheDefaultUnlessReplaced)
{
    log_capture log;
    EXPECT_EQ(interaction().ask("Ignore changes", "There are unsaved changes", question_t::ok_cancel, answer_t::ok),
              answer_t::ok);
    EXPECT_EQ(interaction().ask("Confirm", "Load?", question_t::yes_no, answer_t::no), answer_t::no);
    EXPECT_TRUE(log.contains("Ignore changes: There are unsaved changes", wxLOG_Message));
    EXPECT_TRUE(interaction().progress_update(5, "x")) << "headless progress is never cancelled";

    // An installed implementation is used until it is removed.
    scripted_interaction_t mine;
    interaction_t* previous = set_interaction(&mine);
    EXPECT_EQ(interaction().ask("c", "m", question_t::ok_cancel, answer_t::ok), answer_t::cancel);
    EXPECT_EQ(mine.questions, 1);
    set_interaction(previous);
    EXPECT_EQ(interaction().ask("c", "m", question_t::ok_cancel, answer_t::ok), answer_t::ok);
    set_interaction(nullptr);
    EXPECT_EQ(interaction().ask("c", "m", question_t::ok_cancel, answer_t::yes), answer_t::yes);
}

}  // namespace
