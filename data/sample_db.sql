-- The sample database of the program folder: a small shop's customers, products and orders.

CREATE TABLE Customer (
    CustNo      VARCHAR(10) NOT NULL PRIMARY KEY,
    CustName    VARCHAR(40) NOT NULL,
    City        VARCHAR(20),
    Phone       VARCHAR(20),
    CreditLimit DECIMAL(12, 2),
    OpenDate    DATE
);

INSERT INTO Customer VALUES ('C001', '台北大同貿易有限公司', '台北市', '02-2345-6789', 500000.00, '2015-03-02');
INSERT INTO Customer VALUES ('C002', '高雄港灣漁業股份有限公司', '高雄市', '07-331-2200', 1250000.50, '2016-11-25');
INSERT INTO Customer VALUES ('C003', '新竹科技園區電子行', '新竹市', NULL, 80000.75, '2011-01-01');
INSERT INTO Customer VALUES ('C004', '台中綠葉茶行', '台中市', '04-2220-1188', NULL, '1915-01-01');
INSERT INTO Customer VALUES ('C005', 'O''Neil 咖啡館', '花蓮縣', '03-832-0001', 0.00, NULL);

CREATE TABLE Product (
    ProdNo   VARCHAR(10) NOT NULL PRIMARY KEY,
    ProdName VARCHAR(40) NOT NULL,
    Unit     VARCHAR(4),
    Price    DECIMAL(10, 2) NOT NULL,
    Weight   REAL,
    Barcode  BIGINT
);

INSERT INTO Product VALUES ('P01', '阿里山高山烏龍茶', '罐', 1280.00, 0.375, 47100000000012345);
INSERT INTO Product VALUES ('P02', '凍頂烏龍茶', '罐', 980.50, 0.3, 47100000000012346);
INSERT INTO Product VALUES ('P03', '東方美人茶禮盒', '盒', 3600.00, NULL, 47100000000012347);
INSERT INTO Product VALUES ('P04', '手工陶瓷茶壺', '個', 2450.00, 1.25, NULL);
INSERT INTO Product VALUES ('P05', '竹製茶盤', '個', 860.00, 2.4, 47100000000012349);

CREATE TABLE OrderLog (
    RNo       INTEGER PRIMARY KEY AUTOINCREMENT,
    OrderDate DATETIME NOT NULL,
    CustNo    VARCHAR(10) NOT NULL REFERENCES Customer (CustNo),
    ProdNo    VARCHAR(10) NOT NULL REFERENCES Product (ProdNo),
    Qty       INTEGER NOT NULL,
    Amount    DECIMAL(12, 2) NOT NULL,
    Memo      VARCHAR(100)
);

INSERT INTO OrderLog (OrderDate, CustNo, ProdNo, Qty, Amount, Memo) VALUES ('2016-11-25 09:30:00', 'C001', 'P01', 10, 12800.00, '年終禮品');
INSERT INTO OrderLog (OrderDate, CustNo, ProdNo, Qty, Amount, Memo) VALUES ('2016-11-25 14:05:12', 'C002', 'P03', 3, 10800.00, NULL);
INSERT INTO OrderLog (OrderDate, CustNo, ProdNo, Qty, Amount, Memo) VALUES ('2016-12-01 10:00:00', 'C003', 'P02', 24, 23532.00, '分兩批出貨');
INSERT INTO OrderLog (OrderDate, CustNo, ProdNo, Qty, Amount, Memo) VALUES ('2017-01-15 16:45:30', 'C004', 'P05', 2, 1720.00, NULL);
INSERT INTO OrderLog (OrderDate, CustNo, ProdNo, Qty, Amount, Memo) VALUES ('2017-02-08 11:11:11', 'C001', 'P04', 1, 2450.00, '含包裝, 附卡片; 急件');
INSERT INTO OrderLog (OrderDate, CustNo, ProdNo, Qty, Amount, Memo) VALUES ('2017-03-20 08:00:00', 'C005', 'P01', 5, 6400.00, 'O''Neil 訂購');

CREATE VIEW OrderSummary AS
    SELECT c.CustName, COUNT(*) AS Orders, SUM(o.Amount) AS Total
    FROM OrderLog o JOIN Customer c ON c.CustNo = o.CustNo
    GROUP BY c.CustName;
