#include "model_file.h"

#include <cmath>
#include <cstdio>
#include <memory>

#include <nlohmann/json.hpp>

using Json = nlohmann::ordered_json;

namespace {

constexpr const char* formatLine = "marionette-model 1";

bool validName(const std::string& name) {
    if (name.empty() || name.size() > 64) return false;
    for (const char c : name)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-' ||
              c == '.' || c == ':'))
            return false;
    return true;
}

// Reads the fields of one object, each once; `where` prefixes every message.
class Reader {
public:
    Reader(const Json& object, std::string where, std::string& error)
        : object_(object), where_(std::move(where)), error_(error) {}

    bool fail(const std::string& field, const std::string& what) {
        error_ = where_ + field + ": " + what;
        return false;
    }

    // A field that must be there (or, when optional, may be missing: nullptr).
    const Json* field(const char* name, bool optional = false) {
        ++known_;
        const auto it = object_.find(name);
        if (it == object_.end()) {
            if (!optional) fail(name, "missing");
            --known_;
            return nullptr;
        }
        return &*it;
    }

    bool number(double& out, const char* name, bool optional = false) {
        const Json* v = field(name, optional);
        if (v == nullptr) return optional && error_.empty();
        if (!v->is_number()) return fail(name, "not a number");
        out = v->get<double>();
        if (!std::isfinite(out)) return fail(name, "not a finite number");
        return true;
    }

    bool integer(int& out, const char* name, int low, int high) {
        const Json* v = field(name);
        if (v == nullptr) return false;
        if (!v->is_number_integer()) return fail(name, "not a whole number");
        const long long value = v->get<long long>();
        if (value < low || value > high)
            return fail(name, std::to_string(value) + " is not from " + std::to_string(low) + " to " + std::to_string(high));
        out = static_cast<int>(value);
        return true;
    }

    template <std::size_t N>
    bool numbers(std::array<double, N>& out, const char* name, bool optional = false) {
        const Json* v = field(name, optional);
        if (v == nullptr) return optional && error_.empty();
        if (!v->is_array() || v->size() != N) return fail(name, "not a list of " + std::to_string(N) + " numbers");
        for (std::size_t k = 0; k < N; ++k) {
            if (!(*v)[k].is_number()) return fail(name, "not a list of " + std::to_string(N) + " numbers");
            out[k] = (*v)[k].get<double>();
            if (!std::isfinite(out[k])) return fail(name, "not a list of finite numbers");
        }
        return true;
    }

    // A name from the file as a one-line message may quote it: as written
    // where it is plain printable ASCII, else in JSON's quotes and escapes
    // (a new line or a terminal's control codes in a key stay out).
    static std::string printable(const std::string& name) {
        for (const unsigned char ch : name)
            if (ch < 0x20 || ch > 0x7e) return Json(name).dump(-1, ' ', true, Json::error_handler_t::replace);
        return name;
    }

    // Every field of the object was one asked for.
    bool noOthers(const std::initializer_list<const char*> allowed) {
        for (auto it = object_.begin(); it != object_.end(); ++it) {
            bool known = false;
            for (const char* name : allowed) known = known || it.key() == name;
            if (!known) return fail(printable(it.key()), "unknown field");
        }
        return true;
    }

private:
    const Json& object_;
    std::string where_;
    std::string& error_;
    int known_ = 0;
};

bool readSegment(FigureModel& model, const Json& json, int i, std::string& error) {
    const std::string where = "segment " + std::to_string(i) + ": ";
    if (!json.is_object()) {
        error = where + "not an object";
        return false;
    }
    Reader r(json, where, error);
    if (!r.noOthers({"name", "parent", "mass_kg", "centre_of_mass_m", "inertia_about_joint_kg_m2", "link_length_m",
                     "start_angle_rad", "target_angle_rad", "stiffness_N_m_per_rad", "link_offset_m", "twist_sin",
                     "twist_cos", "drawn_joint", "drawn_length"}))
        return false;
    const Json* name = r.field("name");
    if (name == nullptr) return false;
    if (!name->is_string() || !validName(name->get<std::string>()))
        return r.fail("name", "not 1 to 64 letters, digits, _ - . or :");
    SegmentParameters s{};
    s.twistCos = 1.0;
    int parent = 0;
    double start = 0, target = 0, stiffness = 0;
    std::array<double, 2> drawn{};
    double drawnLength = 1.0;
    if (!r.integer(parent, "parent", -1, i - 1) || !r.number(s.mass, "mass_kg") ||
        !r.numbers(s.centreOfMass, "centre_of_mass_m") || !r.numbers(s.rotationalInertia, "inertia_about_joint_kg_m2") ||
        !r.number(s.linkLength, "link_length_m") || !r.number(start, "start_angle_rad") ||
        !r.number(target, "target_angle_rad") || !r.number(stiffness, "stiffness_N_m_per_rad") ||
        !r.number(s.linkOffset, "link_offset_m", true) || !r.number(s.twistSin, "twist_sin", true) ||
        !r.number(s.twistCos, "twist_cos", true))
        return false;
    drawn = {s.linkLength, 0.0};
    if (!r.numbers(drawn, "drawn_joint", true) || !r.number(drawnLength, "drawn_length", true)) return false;
    if (!(s.mass > 0.0)) return r.fail("mass_kg", "must be positive");
    if (!(s.rotationalInertia[5] > 0.0)) return r.fail("inertia_about_joint_kg_m2", "Izz must be positive");
    if (stiffness < 0.0) return r.fail("stiffness_N_m_per_rad", "must not be negative");
    model.segmentName.push_back(name->get<std::string>());
    model.segment.push_back(s);
    model.parent.push_back(parent);
    model.startAngle.push_back(start);
    model.jointTarget.push_back(target);
    model.jointStiffness.push_back(stiffness);
    model.drawnJointX.push_back(drawn[0]);
    model.drawnJointY.push_back(drawn[1]);
    model.drawnLength.push_back(drawnLength);
    return true;
}

}  // namespace

bool readFigureModel(FigureModel& model, std::string& error, const char* text, std::size_t length) {
    model = FigureModel{};
    error.clear();
    if (length > maxModelFileBytes) {
        error = "the model is larger than 16 MB";
        return false;
    }
    const Json json = Json::parse(text, text + length, nullptr, false);
    if (json.is_discarded()) {
        error = "not a JSON text";
        return false;
    }
    if (!json.is_object()) {
        error = "not a JSON object";
        return false;
    }
    Reader r(json, "", error);
    if (!r.noOthers({"format", "name", "damping_N_m_s_per_rad", "torso_key_joint", "limb_key_joints", "pictures",
                     "segments"}))
        return false;
    const Json* format = r.field("format");
    if (format == nullptr) return false;
    if (!format->is_string() || format->get<std::string>() != formatLine)
        return r.fail("format", std::string("not '") + formatLine + "'");
    const Json* name = r.field("name");
    if (name == nullptr) return false;
    if (!name->is_string() || !validName(name->get<std::string>()))
        return r.fail("name", "not 1 to 64 letters, digits, _ - . or :");
    model.name = name->get<std::string>();
    if (!r.number(model.jointDamping, "damping_N_m_s_per_rad")) return false;
    if (model.jointDamping < 0.0) return r.fail("damping_N_m_s_per_rad", "must not be negative");
    const Json* pictures = r.field("pictures");
    if (pictures == nullptr) return false;
    if (!pictures->is_boolean()) return r.fail("pictures", "not true or false");
    model.pictures = pictures->get<bool>();

    const Json* segments = r.field("segments");
    if (segments == nullptr) return false;
    if (!segments->is_array() || segments->empty() || segments->size() > static_cast<std::size_t>(maxSegments))
        return r.fail("segments", "not a list of 1 to " + std::to_string(maxSegments) + " segments");
    model.n = static_cast<int>(segments->size());
    for (int i = 0; i < model.n; ++i)
        if (!readSegment(model, (*segments)[i], i, error)) return false;
    if (model.pictures && model.n != segmentCount)
        return r.fail("pictures", "true only for a figure of the window program's " + std::to_string(segmentCount) + " segments");

    if (!r.integer(model.torsoJoint, "torso_key_joint", -1, model.n - 1)) return false;
    const Json* limbs = r.field("limb_key_joints");
    if (limbs == nullptr) return false;
    if (!limbs->is_array() || limbs->size() > static_cast<std::size_t>(model.n))
        return r.fail("limb_key_joints", "not a list of at most one entry per segment");
    for (std::size_t k = 0; k < limbs->size(); ++k) {
        const Json& entry = (*limbs)[k];
        const std::string where = "limb_key_joints " + std::to_string(k) + ": ";
        if (!entry.is_object()) {
            error = where + "not an object";
            return false;
        }
        Reader e(entry, where, error);
        KeyJoint joint{};
        int sign = 0;
        if (!e.noOthers({"joint", "sign"}) || !e.integer(joint.joint, "joint", 0, model.n - 1) ||
            !e.integer(sign, "sign", -1, 1))
            return false;
        if (sign == 0) return e.fail("sign", "must be 1 or -1");
        if (joint.joint == model.torsoJoint) return e.fail("joint", "is the torso key's joint");
        for (const KeyJoint& other : model.limbJoints)
            if (other.joint == joint.joint) return e.fail("joint", "named twice");
        joint.sign = sign;
        model.limbJoints.push_back(joint);
    }
    model.gravity = {0, -9.80665, 0, 0, 0, 0};
    return finishFigureModel(model, error);
}

std::string writeFigureModel(const FigureModel& model, bool oneLine) {
    Json json;
    json["format"] = formatLine;
    json["name"] = model.name;
    json["damping_N_m_s_per_rad"] = model.jointDamping;
    json["torso_key_joint"] = model.torsoJoint;
    Json limbs = Json::array();
    for (const KeyJoint& k : model.limbJoints) limbs.push_back({{"joint", k.joint}, {"sign", k.sign < 0 ? -1 : 1}});
    json["limb_key_joints"] = limbs;
    json["pictures"] = model.pictures;
    Json segments = Json::array();
    for (int i = 0; i < model.n; ++i) {
        const SegmentParameters& s = model.segment[i];
        Json segment;
        segment["name"] = model.segmentName[i];
        segment["parent"] = model.parent[i];
        segment["mass_kg"] = s.mass;
        segment["centre_of_mass_m"] = s.centreOfMass;
        segment["inertia_about_joint_kg_m2"] = s.rotationalInertia;
        segment["link_length_m"] = s.linkLength;
        segment["start_angle_rad"] = model.startAngle[i];
        segment["target_angle_rad"] = model.jointTarget[i];
        segment["stiffness_N_m_per_rad"] = model.jointStiffness[i];
        if (s.linkOffset != 0.0) segment["link_offset_m"] = s.linkOffset;
        if (s.twistSin != 0.0 || s.twistCos != 1.0) {
            segment["twist_sin"] = s.twistSin;
            segment["twist_cos"] = s.twistCos;
        }
        segment["drawn_joint"] = {model.drawnJointX[i], model.drawnJointY[i]};
        segment["drawn_length"] = model.drawnLength[i];
        segments.push_back(segment);
    }
    json["segments"] = segments;
    return oneLine ? json.dump() : json.dump(1) + "\n";
}

bool loadFigureModelFile(FigureModel& model, std::string& error, const char* path) {
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path, "rb"), std::fclose);
    if (!file) {
        error = std::string("cannot open the model file '") + path + "'";
        return false;
    }
    std::string text;
    char buffer[65536];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file.get())) > 0;) {
        text.append(buffer, n);
        if (text.size() > maxModelFileBytes) {
            error = std::string("the model file '") + path + "' is larger than 16 MB";
            return false;
        }
    }
    if (std::ferror(file.get())) {
        error = std::string("cannot read the model file '") + path + "'";
        return false;
    }
    if (!readFigureModel(model, error, text.data(), text.size())) {
        error = std::string(path) + ": " + error;
        return false;
    }
    return true;
}
