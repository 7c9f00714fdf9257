#include "FloodmarkSaver/calm/CalmField.h"

#include "FloodmarkSaver/calm/CalmClock.h"
#include "FloodmarkSaver/calm/CalmHash.h"
#include "FloodmarkSaver/calm/CalmPalette.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace floodmark::CalmField {

namespace {

using CalmHash::frac;
using CalmHash::mix;
using CalmHash::unit;

std::vector<Particle> buildParticles() {
    std::vector<Particle> table;
    table.reserve(220);
    for (std::uint64_t i = 0; i < 220; ++i) {
        std::uint64_t k = CalmHash::golden + 1 + 31 * i;
        std::uint64_t s = CalmHash::golden + 17 * i;
        bool star = unit(k + 6) >= 0.78;
        table.push_back({
            .ux = unit(k),
            .uy = unit(k + 1),
            .size = unit(k + 10) + (star ? 2 : 1),
            .colorIndex = static_cast<int>(mix(s) % CalmPalette::seedA.size()),
            .phase = unit(k + 2),
            .kind = star ? Particle::Kind::star : Particle::Kind::dust,
        });
    }
    return table;
}

}  // namespace

const std::vector<Particle>& particles() {
    static const std::vector<Particle> table = buildParticles();
    return table;
}

void draw(DrawingContext& context, Size size, double waterTop, double time, double level,
          double depth, bool reduceMotion) {
    constexpr double pi = std::numbers::pi;
    const double top = waterTop + std::max(0.02 * size.height, 10.0);
    if (!(size.height > top)) {
        return;
    }
    const auto [now, burst] = CalmClock::moment(time, reduceMotion);
    const double levelFactor = CalmClock::levelFactor(level);
    const double band = size.height - top;
    const double fade = 0.08 * size.height;
    const double c = now / CalmClock::breathPeriod;

    const auto& table = particles();
    for (std::size_t i = 0; i < table.size(); ++i) {
        const Particle& particle = table[i];
        double phase = particle.phase;
        double d = std::sin(2 * pi * (phase + c / 3));
        double e = std::sin(2 * pi * (2 * phase + c));
        double f = std::cos(2 * pi * (1.7 * phase + c / 3));
        double v = particle.uy + 0.012 * (f + 0.5 * std::cos(2 * pi * (phase + c)));
        double y = top + band * frac(v);
        double g = y - top;
        if (fade >= 1) {
            g /= fade;
        }
        g = std::min(g, 1.0);

        Color colour = CalmPalette::seedA[static_cast<std::size_t>(particle.colorIndex)];
        double base = 0.5;
        if (particle.kind == Particle::Kind::star) {
            if (burst > 0 && i % 17 == 0) {
                colour = CalmPalette::exciteA[i % 4];
                base = 0.35 + 0.55 * burst;
            } else {
                base = 0.72;
            }
        }
        double alpha = base * levelFactor * g;
        if (alpha <= 0.01) {
            continue;
        }
        double x = size.width * frac(particle.ux + 0.012 * (d + 0.5 * e));
        context.setFillColor(CalmPalette::deepened(colour, alpha, depth));
        context.fillEllipse(
            {x - particle.size / 2, y - particle.size / 2, particle.size, particle.size});
    }
}

}  // namespace floodmark::CalmField
