#pragma once

// Everything a host needs, in one include.
#include "ovra/data_source.h"
#include "ovra/logging.h"
#include "ovra/mesh_id.h"
#include "ovra/mesh_renderer.h"
#include "ovra/model.h"
#include "ovra/records.h"
#include "ovra/render_mesh.h"
#include "ovra/stream_controller.h"
