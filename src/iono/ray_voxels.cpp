// Ray-voxel tracing (to be written).
#include "iono/ray_voxels.hpp"

#include "frame/log.hpp"
#include "frame/stop.hpp"

namespace quelmar::iono {

double apriori_density(const AprioriSetting&, double, double, double, frame::Log& log) {
    log.list("ERROR: unsupported apriori_iono_model_name");
    throw frame::Stop("ERROR: unsupported apriori_iono_model_name");
}

void ijklimits3(int, int, int, const std::array<std::int32_t, 3>&, const Array1<int, 3>&, int&, int&, int&, int&,
                int&, int&) {}

int ray_2_iono_voxel_lengths_v30(const auxfiles::VoxelGrid&, const frame::Config&, double, double, double, double,
                                 double, double, std::int32_t, double, const AprioriSetting&, RayVoxels& ray,
                                 frame::TextSink&, frame::Log&) {
    ray = RayVoxels{};
    return 0;
}

} // namespace quelmar::iono
