// Configure, Streaming: the OpenIGTLink server that sends the live frames and
// poses on, started on a port the user gives and stopped the same way.
#include "acquisition/igtl_live_stream.h"
#include "common/interaction.h"
#include "main_frame.h"

void MainFrame::OnConfigStreaming(wxCommandEvent&)
{
    if (igtl_server_ && igtl_server_->running()) {
        const igtl_server_t::stats_t s = igtl_server_->stats();
        const wxString message = wxString::Format(
            "Streaming on port %d to %d client(s): %llu messages sent, %llu dropped for slow clients.\n\n"
            "Stop streaming?",
            igtl_server_->port(), s.clients, static_cast<unsigned long long>(s.sent),
            static_cast<unsigned long long>(s.dropped));
        if (interaction().ask("Streaming", message, question_t::yes_no, answer_t::no) != answer_t::yes)
            return;
        igtl_stream_.reset();
        igtl_server_.reset();
        SetStatusText("Streaming stopped.", 0);
        return;
    }
    const std::optional<wxString> typed = interaction().ask_text(
        "Streaming",
        "Send every live or replayed frame (IMAGE) and probe pose (TRANSFORM) to OpenIGTLink clients.\n"
        "Port to listen on (0: any free one):",
        wxString::Format("%d", igtl_server_t::default_port), text_kind_t::line);
    if (!typed)
        return;
    long port = 0;
    if (!typed->Strip(wxString::both).ToLong(&port) || port < 0 || port > 65535) {
        interaction().inform("Streaming", "'" + *typed + "' is not a port number (0 to 65535).");
        return;
    }
    auto server = std::make_unique<igtl_server_t>();
    if (!server->start(static_cast<int>(port)))
        return;  // the reason is logged
    igtl_server_ = std::move(server);
    igtl_stream_ = std::make_unique<igtl_live_stream_t>(*igtl_server_);
    SetStatusText(wxString::Format("Streaming on port %d.", igtl_server_->port()), 0);
}
