#include "platform/linux/atspi/atspi_relations.h"

namespace atspi_relations {

AtspiAccessible* embeddedDocument(AtspiAccessible* object) {
    GError* error = nullptr;
    GArray* relations = atspi_accessible_get_relation_set(object, &error);
    if (error != nullptr) g_error_free(error);
    if (relations == nullptr) return nullptr;
    AtspiAccessible* found = nullptr;
    for (guint i = 0; i < relations->len; ++i) {
        AtspiRelation* relation = g_array_index(relations, AtspiRelation*, i);
        if (found == nullptr &&
            atspi_relation_get_relation_type(relation) == ATSPI_RELATION_EMBEDS &&
            atspi_relation_get_n_targets(relation) > 0) {
            found = atspi_relation_get_target(relation, 0); // a new reference
        }
        g_object_unref(relation);
    }
    g_array_free(relations, TRUE);
    return found;
}

} // namespace atspi_relations
