#include "i18n/TextResources.h"

#include "BinaryData.h"

namespace textResources
{
    TextResource common()
    {
        return { BinaryData::common_txt, BinaryData::common_txtSize };
    }

    const TextResource* languages()
    {
        static const TextResource table[languageCount] = {
            { BinaryData::lang_en_txt,    BinaryData::lang_en_txtSize },
            { BinaryData::lang_fr_txt,    BinaryData::lang_fr_txtSize },
            { BinaryData::lang_de_txt,    BinaryData::lang_de_txtSize },
            { BinaryData::lang_es_txt,    BinaryData::lang_es_txtSize },
            { BinaryData::lang_it_txt,    BinaryData::lang_it_txtSize },
            { BinaryData::lang_nl_txt,    BinaryData::lang_nl_txtSize },
            { BinaryData::lang_ru_txt,    BinaryData::lang_ru_txtSize },
            { BinaryData::lang_pt_txt,    BinaryData::lang_pt_txtSize },
            { BinaryData::lang_zh_cn_txt, BinaryData::lang_zh_cn_txtSize },
            { BinaryData::lang_zh_tw_txt, BinaryData::lang_zh_tw_txtSize },
            { BinaryData::lang_ko_txt,    BinaryData::lang_ko_txtSize },
            { BinaryData::lang_ja_txt,    BinaryData::lang_ja_txtSize },
        };
        return table;
    }

    TextResource language (int languageIndex)
    {
        if (languageIndex < 0 || languageIndex >= languageCount)
            return {};

        return languages()[languageIndex];
    }
}
