#include "FloodmarkSaver/calm/BloomRenderer.h"

#include "FloodmarkSaver/calm/CalmClock.h"
#include "FloodmarkSaver/calm/CalmPalette.h"
#include "FloodmarkSaver/frame/FloodmarkPalette.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace floodmark::BloomRenderer {

namespace {

constexpr double pi = std::numbers::pi;
// How long an echo lasts, seconds.
constexpr double stampLife = 6;

double opacityAt(double breath) {
    return 0.4 + (0.85 - 0.4) * breath;
}
double scaleAt(double breath) {
    return 0.55 + 1.25 * breath;
}

// How far into its half breath `time` is, 0…1.
double halfBreathShare(double time) {
    double share = std::fmod(time, phase) / phase;
    return share < 0 ? share + 1 : share;
}

struct Point2 {
    double x;
    double y;
};

// A closed outline of a start point and four cubic curves, in 1/468ths of the petal size.
Path outline(double size, Point2 start, const std::array<std::array<Point2, 3>, 4>& curves) {
    double k = size / 468;
    Path path;
    path.moveTo({start.x * k, start.y * k});
    for (const auto& curve : curves) {
        path.curveTo({curve[0].x * k, curve[0].y * k}, {curve[1].x * k, curve[1].y * k},
                     {curve[2].x * k, curve[2].y * k});
    }
    path.close();
    return path;
}

// Cobalt with its hue turned a little further for each petal.
Color petalColour(int petal) {
    auto [hue, saturation, value] = rgbToHSV(cobalt.red, cobalt.green, cobalt.blue);
    hue += (petal / 6.0) * (25.0 / 360.0);
    hue -= std::floor(hue);
    auto [red, green, blue] = hsvToRGB(hue, saturation, value);
    return {red, green, blue, cobalt.alpha};
}

struct Ring {
    double petalSize;
    double offset;
    double rotation;
    double fillAlpha;
    double strokeAlpha;
    double lineWidth;
};

void drawRing(DrawingContext& context, Point centre, const Ring& ring, double depth) {
    for (int j = 0; j < 6; ++j) {
        context.save();
        context.translate(centre.x, centre.y);
        context.rotate(ring.rotation + j * pi / 3);
        context.translate(0, ring.offset);
        Path petal = j % 2 == 1 ? petalB(ring.petalSize) : petalA(ring.petalSize);
        Color colour = petalColour(j);
        context.setFillColor(CalmPalette::deepened(colour, ring.fillAlpha, depth));
        context.fillPath(petal);
        context.setLineWidth(ring.lineWidth);
        context.setRoundLines();
        context.setStrokeColor(CalmPalette::deepened(colour, ring.strokeAlpha, depth));
        context.strokePath(petal);
        context.restore();
    }
}

}  // namespace

Petals petals(double time) {
    double breath = CalmClock::breath(time);
    return {scaleAt(breath), opacityAt(breath), halfBreathShare(time) * pi / 6};
}

std::vector<double> tickOffsets(bool isInhale) {
    int count = isInhale ? 6 : 5;
    std::vector<double> weights;
    for (int i = 0; i < count; ++i) {
        weights.push_back(isInhale ? std::round(800 - 400.0 * i / 5)
                                   : std::round(600 + 600.0 * i / 4));
    }
    double sum = 0;
    for (double weight : weights) {
        sum += weight;
    }
    const double half = phase * 1000;
    std::vector<double> totals;
    double running = 0;
    for (double weight : weights) {
        running += std::round(half / sum * weight);
        if (running <= half) {
            totals.push_back(running);
        }
    }
    std::vector<double> offsets;
    for (double total : totals) {
        offsets.push_back((total - totals.front()) / 1000);
    }
    return offsets;
}

const std::vector<double>& inhaleOffsets() {
    static const std::vector<double> offsets = tickOffsets(true);
    return offsets;
}

const std::vector<double>& exhaleOffsets() {
    static const std::vector<double> offsets = tickOffsets(false);
    return offsets;
}

std::vector<Petals> stamps(double time) {
    std::vector<Petals> visible;
    if (!(time >= 0)) {
        return visible;
    }
    long long end = static_cast<long long>(std::floor(time / phase));
    for (long long n = std::max(end - 3, 0LL); n <= end; ++n) {
        const auto& offsets = n % 2 == 0 ? inhaleOffsets() : exhaleOffsets();
        for (double offset : offsets) {
            double born = phase * static_cast<double>(n) + offset;
            double age = time - born;
            if (!(age >= 0 && age < stampLife)) {
                continue;
            }
            double breath = CalmClock::breath(born);
            double a = age / stampLife;
            double opacity = (1 - std::sqrt(a)) * opacityAt(breath);
            if (opacity <= 0.01) {
                continue;
            }
            visible.push_back(
                {(1 - 0.15 * a) * scaleAt(breath), opacity, halfBreathShare(born) * pi / 6});
        }
    }
    return visible;
}

Path petalA(double size) {
    return outline(size, {30.703, -165.191},
                   {{{{{-72.9343, -100.834}, {-128.7396, -43.483}, {-136.71342, 6.861}}},
                     {{{-148.67413, 82.378}, {-97.1516, 153.2929}, {-21.635, 165.2536}}},
                     {{{53.882, 177.2143}, {124.797, 125.6918}, {136.758, 50.175}}},
                     {{{144.732, -0.17}, {109.38, -71.958}, {30.703, -165.191}}}}});
}

Path petalB(double size) {
    return outline(size, {-103.72, -187.63},
                   {{{{{37.592, -151.153}, {121.508, -105.685}, {148.027, -51.226}}},
                     {{{187.806, 30.464}, {153.025, 129.43}, {70.342, 169.8223}}},
                     {{{-12.342, 210.2144}, {-111.617, 176.7364}, {-151.396, 95.047}}},
                     {{{-177.915, 40.588}, {-162.023, -53.638}, {-103.72, -187.63}}}}});
}

std::array<double, 3> rgbToHSV(double red, double green, double blue) {
    double max = std::max({red, green, blue});
    double min = std::min({red, green, blue});
    double delta = max - min;
    double hue = 0;
    if (delta > 0) {
        if (max == red) {
            hue = std::fmod((green - blue) / delta, 6.0);
        } else if (max == green) {
            hue = (blue - red) / delta + 2;
        } else {
            hue = (red - green) / delta + 4;
        }
        hue /= 6;
        if (hue < 0) {
            hue += 1;
        }
    }
    return {hue, max > 0 ? delta / max : 0, max};
}

std::array<double, 3> hsvToRGB(double hue, double saturation, double value) {
    double scaled = hue * 6;
    int sector = static_cast<int>(std::trunc(scaled)) % 6;
    double f = scaled - std::trunc(scaled);
    double p = value * (1 - saturation);
    double q = value * (1 - saturation * f);
    double t = value * (1 - saturation * (1 - f));
    switch (sector < 0 ? sector + 6 : sector) {
        case 0:
            return {value, t, p};
        case 1:
            return {q, value, p};
        case 2:
            return {p, value, t};
        case 3:
            return {p, q, value};
        case 4:
            return {t, p, value};
        default:
            return {value, p, q};
    }
}

void draw(DrawingContext& context, Size size, double time, double depth, bool reduceMotion) {
    Petals live = reduceMotion ? Petals{1, 0.6, 0} : petals(time);
    Point centre{0.5 * size.width, 0.78 * size.height};
    double radius = 0.21 * std::min(size.width, size.height);
    double unit = radius / 160;

    context.save();
    context.drawRadialGradient(CalmPalette::deepened(cobalt, 0.12 * live.opacity, depth),
                               cobalt.withAlpha(0), centre, 0, centre, radius, false);
    context.restore();

    if (!reduceMotion) {
        for (const auto& stamp : stamps(time)) {
            drawRing(context, centre,
                     {0.65 * radius * stamp.scale, 0.2 * radius * stamp.scale, stamp.rotation,
                      0.08 * stamp.opacity, 0.8 * stamp.opacity, unit},
                     depth);
        }
    }
    drawRing(context, centre,
             {0.65 * radius * live.scale, 0.2 * radius * live.scale, live.rotation,
              0.08 * live.opacity, 0.8 * live.opacity, 1.8 * unit},
             depth);

    double dot = 2.5 * unit;
    context.setFillColor(FloodmarkPalette::ink.withAlpha(0.5 * live.opacity));
    context.fillEllipse({centre.x - dot, centre.y - dot, 2 * dot, 2 * dot});
}

}  // namespace floodmark::BloomRenderer
