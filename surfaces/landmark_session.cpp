#include "landmark_session.h"

#include <memory>

#include "landmark_names.h"
#include "resources/resource_table.h"

landmarks landmarks_from_session()
{
    landmarks marks;
    if (res)
        if (const std::shared_ptr<landmarks>& held = res->RES_LANDMARKS->value())
            marks = *held;
    create_indices_from_names(&marks);
    return marks;
}

void landmarks_to_session(landmarks marks)
{
    if (!res)
        return;
    res->RES_LANDMARKS->write_no_changeprocs(std::make_shared<landmarks>(std::move(marks)));
    // The list itself is not a saved line: its LANDMARK and FIDUCIAL lines
    // are what make the recording's landmarks count as unsaved.
    res->LANDMARK->write_no_changeprocs();
    res->FIDUCIAL->write_no_changeprocs();
    base_res_t::make_pending_writes_happen();
}
