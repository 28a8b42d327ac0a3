#include "sheets/xlsx/parts.h"

namespace sheets::xlsx {

XmlPart& Parts::get(const std::string& part) {
    auto& slot = parsed_[part];
    if (!slot) slot = std::make_unique<XmlPart>(part, package_.read(part));
    return *slot;
}

XmlPart& Parts::adopt(const std::string& part, std::string text) {
    auto& slot = parsed_[part];
    slot = std::make_unique<XmlPart>(part, std::move(text));
    return *slot;
}

void Parts::store() {
    for (auto& [name, part] : parsed_) {
        if (part->changed) package_.replace(name, part->text());
    }
}

std::vector<Relationship> relationshipsOf(Parts& parts, const std::string& part) {
    std::vector<Relationship> out;
    const auto relsPart = relationshipsPartOf(part);
    if (!parts.has(relsPart)) return out;
    for (auto rel : children(parts.get(relsPart).root(), "Relationship")) {
        Relationship r;
        r.id = rel.attribute("Id").value();
        std::string type = rel.attribute("Type").value();
        r.type = type.substr(type.rfind('/') + 1);
        r.external = std::string_view(rel.attribute("TargetMode").value()) == "External";
        r.part = r.external ? rel.attribute("Target").value()
                            : resolvePartName(part, rel.attribute("Target").value());
        out.push_back(std::move(r));
    }
    return out;
}

}  // namespace sheets::xlsx
