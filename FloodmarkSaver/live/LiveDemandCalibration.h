#pragma once

#include <nlohmann/json_fwd.hpp>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace floodmark {

// What a usual day of agent work looks like on this machine: per calendar day of the last
// week, the highest smoothed load and the highest concurrency. Main thread only.
class LiveDemandCalibration {
public:
    static constexpr int retainedDays = 7;
    static constexpr int minimumMatureDays = 3;
    static constexpr int schema = 3;
    // Time constant of the smoothed load, seconds.
    static constexpr double sustainTau = 60;

    // From the calibration file's object; none, or one that does not match, starts empty.
    explicit LiveDemandCalibration(const nlohmann::json* restored = nullptr);
    // Whether a file's object is of the schema this calibration reads.
    static bool isOfThisSchema(const nlohmann::json& restored);

    void observe(double rawY, double rawX, double now, double elapsed);

    bool isMature() const;
    double yDenominator() const;
    double xDenominator() const;
    nlohmann::json toJson() const;

    // The day of `now` in the machine's time zone, "YYYY-MM-DD".
    static std::string key(double now);
    // The mean of the positive values without their smallest and largest (the largest of one
    // or two), never below `floor`.
    static double middleMean(std::vector<double> values, double floor);

    double sustainedY() const { return sustainedY_; }
    const std::map<std::string, double>& dailySustainedY() const { return dailySustainedY_; }
    const std::map<std::string, double>& dailyMaxX() const { return dailyMaxX_; }

private:
    std::map<std::string, double> dailySustainedY_;
    std::map<std::string, double> dailyMaxX_;
    double sustainedY_ = 0;
    std::optional<double> lastObservedAt_;
};

}  // namespace floodmark
