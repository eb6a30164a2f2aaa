// The two usage texts the LinkList box shows, one per match mode. GBK at
// run time; lines end with CR LF, the last one has no line break.
#pragma once

namespace qm {

inline constexpr char kSmartUsageText[] =
    "使用说明：\r\n"
    "1.请将切片代码放在上面框中\r\n"
    "2.将切片图片上传到图片空间\r\n"
    "3.请任意选择一张图片，软件会按选择的图片路径智能匹配。\r\n"
    "4.无需按序号的顺序复制图片空间的图片链接，软件会自动识别。\r\n"
    "5.选择多图后点击复制多图按扭\r\n"
    "6.在弹出窗口中选择复制链接，其它选项切勿勾选。\r\n"
    "7.将复制好的图片链接粘贴到本框中，点击替换并复制即可。";

inline constexpr char kByNumberUsageText[] =
    "使用说明：\r\n"
    "1.请将切片代码放在上面框中\r\n"
    "2.将切片图片上传到图片空间\r\n"
    "3.在图片空间右上角，排序，选择名称↑,如果已是按12345...排列可忽略这一步\r\n"
    "4.排序完成点击左上角 已选择0个文件夹和*张图片，或手工选择多图\r\n"
    "5.选择多图后点击复制多图按扭\r\n"
    "6.在弹出窗口中选择复制链接，其它选项切勿勾选。\r\n"
    "7.将复制好的图片链接粘贴到本框中，点击替换并复制即可。";

}  // namespace qm
