<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>TCoreTexts</name>
    <message>
        <source>密码含有无法保存的字符！！！</source>
        <translation>The password holds characters that cannot be saved.</translation>
    </message>
    <message>
        <source>密码不能含有“|”或换行，也不能以空格结尾！！！</source>
        <translation>A password cannot hold “|” or a line break, nor end in a space.</translation>
    </message>
    <message>
        <source>必须是Pak补丁才可以改密码！！！</source>
        <translation>Only a Pak file has a password to change.</translation>
    </message>
</context>
<context>
    <name>TDialogParts</name>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>显示密码</source>
        <translation>Show password</translation>
    </message>
</context>
<context>
    <name>TErrorTexts</name>
    <message>
        <source>文件写入失败 ！！！
文件：%1
原因：%2</source>
        <translation>Writing the file failed.
File: %1
Reason: %2</translation>
    </message>
</context>
<context>
    <name>TExportPicture</name>
    <message>
        <source>保存为图片文件</source>
        <translation>Save as picture file</translation>
    </message>
    <message>
        <source>PNG 文件|*.PNG|BMP 文件|*.BMP|TGA 文件|*.TGA</source>
        <translation>PNG file|*.PNG|BMP file|*.BMP|TGA file|*.TGA</translation>
    </message>
    <message>
        <source>图片导出失败 ！！！</source>
        <translation>Exporting the image failed.</translation>
    </message>
    <message>
        <source>图片导出成功！！！</source>
        <translation>Image exported.</translation>
    </message>
    <message>
        <source>图片导出成功 ！！！</source>
        <translation>Images exported.</translation>
    </message>
</context>
<context>
    <name>TLanguageMenu</name>
    <message>
        <source>语言 / Language</source>
        <translation>Language / 语言</translation>
    </message>
    <message>
        <source>下次启动时界面改为英文。</source>
        <translation>The interface will be in English from the next start.</translation>
    </message>
    <message>
        <source>下次启动时界面改为中文。</source>
        <translation>The interface will be in Chinese from the next start.</translation>
    </message>
</context>
<context>
    <name>TReplaceTarget</name>
    <message>
        <source>其中有 %1 张图片</source>
        <translation>it holds %1 images</translation>
    </message>
    <message>
        <source>密码未知，无法读取其中的图片数</source>
        <translation>its password is unknown, so its image count cannot be read</translation>
    </message>
    <message>
        <source>它不是可以读取的资源文件</source>
        <translation>it is not a library that can be read</translation>
    </message>
    <message>
        <source>目标文件已打开：%1（%2 张图片）
它会被新文件替换，要先关闭它吗？</source>
        <translation>The target file is open: %1 (%2 images)
The new file will replace it. Close it first?</translation>
    </message>
    <message>
        <source>目标文件已打开，正在处理中，请稍后再试 ！！！
%1</source>
        <translation>The target file is open and busy; try again later.
%1</translation>
    </message>
    <message>
        <source>目标文件已存在：%1
%2，要用新文件替换它吗？</source>
        <translation>The target file exists: %1
%2. Replace it with the new file?</translation>
    </message>
</context>
<context>
    <name>velmora::TFrmAnimation</name>
    <message>
        <source>动画预览</source>
        <translation>Animation preview</translation>
    </message>
    <message>
        <source>起始:</source>
        <translation>From:</translation>
    </message>
    <message>
        <source>张数:</source>
        <translation>Images:</translation>
    </message>
    <message>
        <source>帧/秒:</source>
        <translation>Frames/s:</translation>
    </message>
    <message>
        <source>上一帧</source>
        <translation>Previous frame</translation>
    </message>
    <message>
        <source>暂停</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>下一帧</source>
        <translation>Next frame</translation>
    </message>
    <message>
        <source>循环</source>
        <translation>Loop</translation>
    </message>
    <message>
        <source>显示上一帧</source>
        <translation>Show previous frame</translation>
    </message>
    <message>
        <source>播放</source>
        <translation>Play</translation>
    </message>
</context>
<context>
    <name>velmora::TFrmChangePassword</name>
    <message>
        <source>Pak文件密码修改</source>
        <translation>Change Pak file password</translation>
    </message>
    <message>
        <source>新密码:</source>
        <translation>New password:</translation>
    </message>
    <message>
        <source>备份原文件</source>
        <translation>Back up the original file</translation>
    </message>
    <message>
        <source>开始修改</source>
        <translation>Change</translation>
    </message>
    <message>
        <source>请先打开一个Pak补丁！！！</source>
        <translation>Open a Pak file first.</translation>
    </message>
    <message>
        <source>必须是Pak补丁才可以改密码！！！</source>
        <translation>Only a Pak file has a password to change.</translation>
    </message>
    <message>
        <source>密码更改</source>
        <translation>Change password</translation>
    </message>
    <message>
        <source>修改完成！！！
密码列表 Pak.txt 未能保存，请记住新密码。</source>
        <translation>Password changed.
The password list Pak.txt could not be saved; keep a note of the new password.</translation>
    </message>
    <message>
        <source>修改完成！！！</source>
        <translation>Password changed.</translation>
    </message>
    <message>
        <source>密码修改失败 ！！！
</source>
        <translation>Changing the password failed.
</translation>
    </message>
</context>
<context>
    <name>velmora::TFrmCreateData</name>
    <message>
        <source>新建</source>
        <translation>New</translation>
    </message>
    <message>
        <source>类型</source>
        <translation>Kind</translation>
    </message>
    <message>
        <source>8位</source>
        <translation>8 bits</translation>
    </message>
    <message>
        <source>16位</source>
        <translation>16 bits</translation>
    </message>
    <message>
        <source>24位</source>
        <translation>24 bits</translation>
    </message>
    <message>
        <source>32位</source>
        <translation>32 bits</translation>
    </message>
    <message>
        <source>设置密码</source>
        <translation>Set a password</translation>
    </message>
    <message>
        <source>密码:</source>
        <translation>Password:</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>创建Wil文件</source>
        <translation>Create WIL library</translation>
    </message>
    <message>
        <source>传奇图片资源文件|*.Wil|*.Wil</source>
        <translation>Game image library|*.Wil|*.Wil</translation>
    </message>
    <message>
        <source>创建Wzl文件</source>
        <translation>Create WZL library</translation>
    </message>
    <message>
        <source>传奇图片资源文件|*.Wzl|*.Wzl</source>
        <translation>Game image library|*.Wzl|*.Wzl</translation>
    </message>
    <message>
        <source>创建Pak文件</source>
        <translation>Create Pak library</translation>
    </message>
    <message>
        <source>[www.velmora.example] 资源文件|*.Pak|*.Pak</source>
        <translation>[www.velmora.example] library|*.Pak|*.Pak</translation>
    </message>
    <message>
        <source>创建成功 ！！！</source>
        <translation>Library created.</translation>
    </message>
    <message>
        <source>创建失败 ！！！</source>
        <translation>Creating the library failed.</translation>
    </message>
</context>
<context>
    <name>velmora::TFrmPassword</name>
    <message>
        <source>Pak补丁密码管理</source>
        <translation>Pak password list</translation>
    </message>
    <message>
        <source>序号</source>
        <translation>No.</translation>
    </message>
    <message>
        <source>文件</source>
        <translation>File</translation>
    </message>
    <message>
        <source>密码</source>
        <translation>Password</translation>
    </message>
    <message>
        <source>每一个Pak文件需要设置正确的读取密码，否则登录器无法正常读取该Pak文件
修改密码后点击保存，自动获取密码状态</source>
        <translation>Every Pak file needs its right password, or the launcher cannot read it.
After changing passwords, click Save; the states are then read anew.</translation>
    </message>
    <message>
        <source>增加</source>
        <translation>Add</translation>
    </message>
    <message>
        <source>清空</source>
        <translation>Clear</translation>
    </message>
    <message>
        <source>导入</source>
        <translation>Import</translation>
    </message>
    <message>
        <source>保存</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>提示：可将登录器配置目录中的 Pak.txt 复制到本程序目录下读取</source>
        <translation>Tip: copy Pak.txt from the launcher&apos;s configuration folder into this program&apos;s folder to read it.</translation>
    </message>
    <message>
        <source>Pak文件|*.Pak</source>
        <translation>Pak file|*.Pak</translation>
    </message>
    <message>
        <source>文本文件|*.txt</source>
        <translation>Text file|*.txt</translation>
    </message>
    <message>
        <source>第 %1 行：</source>
        <translation>Line %1: </translation>
    </message>
</context>
<context>
    <name>velmora::TfrmAtlasExportDlg</name>
    <message>
        <source>导出图集</source>
        <translation>Export atlas</translation>
    </message>
    <message>
        <source>JSON 哈希 (json-hash)</source>
        <translation>JSON hash (json-hash)</translation>
    </message>
    <message>
        <source>JSON 数组 (json-array)</source>
        <translation>JSON array (json-array)</translation>
    </message>
    <message>
        <source>起始编号:</source>
        <translation>From:</translation>
    </message>
    <message>
        <source>结束编号:</source>
        <translation>To:</translation>
    </message>
    <message>
        <source>图集文件:</source>
        <translation>Atlas sheet:</translation>
    </message>
    <message>
        <source>数据格式:</source>
        <translation>Data format:</translation>
    </message>
    <message>
        <source>图片间距:</source>
        <translation>Padding:</translation>
    </message>
    <message>
        <source>最大尺寸:</source>
        <translation>Maximum size:</translation>
    </message>
    <message>
        <source>导出</source>
        <translation>Export</translation>
    </message>
    <message>
        <source>PNG图集 (*.png)|*.png</source>
        <translation>PNG atlas (*.png)|*.png</translation>
    </message>
    <message>
        <source>请先选择图集文件 ！！！</source>
        <translation>Choose the atlas sheet first.</translation>
    </message>
    <message>
        <source>图集导出已取消 ！！！
已处理 %1/%2 时停止，没有留下任何文件。</source>
        <translation>Atlas export cancelled.
Stopped at %1/%2; no files were left behind.</translation>
    </message>
    <message>
        <source>图集导出失败 ！！！
</source>
        <translation>Exporting the atlas failed.
</translation>
    </message>
    <message>
        <source>图集导出成功 ！！！
%1 张图片，%2 张图集，%3 张空图片未导出</source>
        <translation>Atlas exported.
%1 images, %2 sheets; %3 empty images left out</translation>
    </message>
</context>
<context>
    <name>velmora::TfrmAtlasImportDlg</name>
    <message>
        <source>导入图集</source>
        <translation>Import atlas</translation>
    </message>
    <message>
        <source>图集数据:</source>
        <translation>Atlas data:</translation>
    </message>
    <message>
        <source>导入方式</source>
        <translation>Import mode</translation>
    </message>
    <message>
        <source>从尾部添加</source>
        <translation>Append</translation>
    </message>
    <message>
        <source>按编号插入</source>
        <translation>Insert at number</translation>
    </message>
    <message>
        <source>按编号覆盖</source>
        <translation>Replace from number</translation>
    </message>
    <message>
        <source>起始编号:</source>
        <translation>From:</translation>
    </message>
    <message>
        <source>压缩</source>
        <translation>Compressed</translation>
    </message>
    <message>
        <source>导入</source>
        <translation>Import</translation>
    </message>
    <message>
        <source>图集数据 (*.json)|*.json</source>
        <translation>Atlas data (*.json)|*.json</translation>
    </message>
    <message>
        <source>图集数据文件不存在 ！！！</source>
        <translation>The atlas data file does not exist.</translation>
    </message>
    <message>
        <source>图集导入已取消 ！！！
已处理 %1/%2 张时停止，文件没有任何改动。</source>
        <translation>Atlas import cancelled.
Stopped at %1/%2; the files are unchanged.</translation>
    </message>
    <message>
        <source>图集导入失败 ！！！
</source>
        <translation>Importing the atlas failed.
</translation>
    </message>
    <message>
        <source>图集导入成功 ！！！
%1 张图片</source>
        <translation>Atlas imported.
%1 images</translation>
    </message>
    <message>
        <source>，%1 张空图片补齐编号</source>
        <translation>, %1 empty images fill the gaps in the numbers</translation>
    </message>
</context>
<context>
    <name>velmora::TfrmDelDlg</name>
    <message>
        <source>删除图片</source>
        <translation>Delete images</translation>
    </message>
    <message>
        <source>图片编号</source>
        <translation>Image numbers</translation>
    </message>
    <message>
        <source>起始编号:</source>
        <translation>From:</translation>
    </message>
    <message>
        <source>结束编号:</source>
        <translation>To:</translation>
    </message>
    <message>
        <source>删除方式</source>
        <translation>Delete mode</translation>
    </message>
    <message>
        <source>彻底删除</source>
        <translation>Remove</translation>
    </message>
    <message>
        <source>空图片代替</source>
        <translation>Replace with empty images</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>确定要%1第 %2 到第 %3 张图片（共 %4 张）吗？</source>
        <translation>%1 images %2 to %3 (%4 images)?</translation>
    </message>
    <message>
        <source>清空</source>
        <translation>Blank</translation>
    </message>
    <message>
        <source>删除</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>删除已取消 ！！！
文件没有任何改动。</source>
        <translation>Delete cancelled.
The files are unchanged.</translation>
    </message>
    <message>
        <source>图片删除失败 ！！！
</source>
        <translation>Deleting the images failed.
</translation>
    </message>
    <message>
        <source>图片删除失败 ！！！</source>
        <translation>Deleting the images failed.</translation>
    </message>
    <message>
        <source>图片删除成功 ！！！</source>
        <translation>Images deleted.</translation>
    </message>
</context>
<context>
    <name>velmora::TfrmInPutDlg</name>
    <message>
        <source>图片导入</source>
        <translation>Import image</translation>
    </message>
    <message>
        <source>坐标</source>
        <translation>Offset</translation>
    </message>
    <message>
        <source>导入方式</source>
        <translation>Import mode</translation>
    </message>
    <message>
        <source>覆盖图片</source>
        <translation>Replace</translation>
    </message>
    <message>
        <source>插入图片</source>
        <translation>Insert</translation>
    </message>
    <message>
        <source>尾部添加</source>
        <translation>Append</translation>
    </message>
    <message>
        <source>是否压缩</source>
        <translation>Compression</translation>
    </message>
    <message>
        <source>不压缩</source>
        <translation>Uncompressed</translation>
    </message>
    <message>
        <source>压缩</source>
        <translation>Compressed</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>PNG文件|*.PNG|BMP文件|*.bmp|TGA文件|*.TGA</source>
        <translation>PNG file|*.PNG|BMP file|*.bmp|TGA file|*.TGA</translation>
    </message>
    <message>
        <source>图片导入失败 ！！！
%1：%2</source>
        <translation>Importing the image failed.
%1: %2</translation>
    </message>
    <message>
        <source>导入</source>
        <translation>Import</translation>
    </message>
    <message>
        <source>图片导入失败 ！！！
坐标超出范围(-32768..32767)</source>
        <translation>Importing the image failed.
The offset is out of range (-32768..32767).</translation>
    </message>
    <message>
        <source>图片导入成功 ！！！</source>
        <translation>Images imported.</translation>
    </message>
    <message>
        <source>图片导入失败 ！！！</source>
        <translation>Importing the images failed.</translation>
    </message>
</context>
<context>
    <name>velmora::TfrmInPutManyDlg</name>
    <message>
        <source>图片导入失败 ！！！
</source>
        <translation>Importing the images failed.
</translation>
    </message>
    <message>
        <source>没有导入任何图片 ！！！</source>
        <translation>No images were imported.</translation>
    </message>
    <message>
        <source>图片导入成功 ！！！</source>
        <translation>Images imported.</translation>
    </message>
    <message>
        <source>图片导入完成，%1/%2 张失败 ！！！</source>
        <translation>Import finished; %1 of %2 images failed.</translation>
    </message>
    <message>
        <source>
%1 张图片无法读取，已用空图片代替</source>
        <translation>
%1 pictures could not be read; empty images stand in for them</translation>
    </message>
    <message>
        <source>
%1 张被图库拒绝</source>
        <translation>
%1 refused by the library</translation>
    </message>
    <message>
        <source>批量导入图片</source>
        <translation>Batch import images</translation>
    </message>
    <message>
        <source>导入内容</source>
        <translation>Import</translation>
    </message>
    <message>
        <source>图片和坐标</source>
        <translation>Images and offsets</translation>
    </message>
    <message>
        <source>图片</source>
        <translation>Images</translation>
    </message>
    <message>
        <source>坐标</source>
        <translation>Offsets</translation>
    </message>
    <message>
        <source>空图片</source>
        <translation>Empty images</translation>
    </message>
    <message>
        <source>图片所在文件夹:</source>
        <translation>Picture folder:</translation>
    </message>
    <message>
        <source>图片索引号</source>
        <translation>Image numbers</translation>
    </message>
    <message>
        <source>起始编号:</source>
        <translation>From:</translation>
    </message>
    <message>
        <source>结束编号:</source>
        <translation>To:</translation>
    </message>
    <message>
        <source>导入方式</source>
        <translation>Import mode</translation>
    </message>
    <message>
        <source>从尾部添加</source>
        <translation>Append</translation>
    </message>
    <message>
        <source>按编号插入</source>
        <translation>Insert at number</translation>
    </message>
    <message>
        <source>按编号覆盖</source>
        <translation>Replace from number</translation>
    </message>
    <message>
        <source>坐标获得方式</source>
        <translation>Offsets from</translation>
    </message>
    <message>
        <source>同名坐标文件</source>
        <translation>Offset files of the same name</translation>
    </message>
    <message>
        <source>相同坐标</source>
        <translation>The same offset</translation>
    </message>
    <message>
        <source>是否压缩</source>
        <translation>Compression</translation>
    </message>
    <message>
        <source>不压缩</source>
        <translation>Uncompressed</translation>
    </message>
    <message>
        <source>压缩</source>
        <translation>Compressed</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>坐标所在文件夹:</source>
        <translation>Offset folder:</translation>
    </message>
    <message>
        <source>添加张数:</source>
        <translation>Images to add:</translation>
    </message>
    <message>
        <source>浏览文件夹</source>
        <translation>Browse for folder</translation>
    </message>
    <message>
        <source>请先选择图片所在文件夹 ！！！</source>
        <translation>Choose the picture folder first.</translation>
    </message>
    <message>
        <source>图片所在文件夹不存在 ！！！
%1</source>
        <translation>The picture folder does not exist.
%1</translation>
    </message>
    <message>
        <source>批量导入</source>
        <translation>Batch import</translation>
    </message>
    <message>
        <source>批量导入图片(%1/%2)</source>
        <translation>Batch import images (%1/%2)</translation>
    </message>
    <message>
        <source>批量导入已取消 ！！！
已处理 %1/%2 张时停止，文件没有任何改动。</source>
        <translation>Batch import cancelled.
Stopped at %1/%2; the files are unchanged.</translation>
    </message>
</context>
<context>
    <name>velmora::TfrmOutPutDlg</name>
    <message>
        <source>图片导出成功 ！！！</source>
        <translation>Images exported.</translation>
    </message>
    <message>
        <source>图片导出完成，%1/%2 张失败 ！！！</source>
        <translation>Export finished; %1 of %2 images failed.</translation>
    </message>
    <message>
        <source>批量导出图片</source>
        <translation>Batch export images</translation>
    </message>
    <message>
        <source>导出到文件夹:</source>
        <translation>Export to folder:</translation>
    </message>
    <message>
        <source>图片编号</source>
        <translation>Image numbers</translation>
    </message>
    <message>
        <source>起始编号:</source>
        <translation>From:</translation>
    </message>
    <message>
        <source>结束编号:</source>
        <translation>To:</translation>
    </message>
    <message>
        <source>导出文件格式</source>
        <translation>File format</translation>
    </message>
    <message>
        <source>自动模式会根据存储的文件格式导出相应的文件格式</source>
        <translation>Auto exports each image in the format it is stored in</translation>
    </message>
    <message>
        <source>自动</source>
        <translation>Auto</translation>
    </message>
    <message>
        <source>大批量导出文件时，
尽量把其他程序全部关闭
开始导出时，
不要再操作电脑，等待导出完成</source>
        <translation>For a large export,
close other programs
and leave the computer
until the export is done</translation>
    </message>
    <message>
        <source>高速导出</source>
        <translation>Fast export</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>浏览文件夹</source>
        <translation>Browse for folder</translation>
    </message>
    <message>
        <source>请先选择图片导出的文件夹 ！！！</source>
        <translation>Choose the export folder first.</translation>
    </message>
    <message>
        <source>结束编号超出最后一张图片，已改为 %1 ！！！</source>
        <translation>The last number lies beyond the last image; it is now %1.</translation>
    </message>
    <message>
        <source>图片导出失败 ！！！
%1</source>
        <translation>Exporting the images failed.
%1</translation>
    </message>
    <message>
        <source>批量导出已取消 ！！！
已导出 %1/%2 张图片。</source>
        <translation>Batch export cancelled.
%1 of %2 images exported.</translation>
    </message>
</context>
<context>
    <name>velmora::TfrmXYDlg</name>
    <message>
        <source>偏移坐标</source>
        <translation>Offset</translation>
    </message>
    <message>
        <source>坐标</source>
        <translation>Offset</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>图片坐标修改成功 ！！！</source>
        <translation>Offset changed.</translation>
    </message>
    <message>
        <source>图片坐标修改失败 ！！！
</source>
        <translation>Changing the offset failed.
</translation>
    </message>
</context>
</TS>
